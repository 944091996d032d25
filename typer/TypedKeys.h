// The keys of a PC keyboard that type a text under a keyboard layout, as a
// person would type it.
#ifndef STRIA_TYPED_KEYS_H
#define STRIA_TYPED_KEYS_H

#include "TyperSettings.h"

#include <SupportDefs.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

class LayoutKeys;

// One key going down or up (Be key code).
struct TypedKey {
	int32 key;
	bool down;
	// On a character's key-down: the character itself, for the message's
	// bytes (under most layouts the US key table names another one).
	std::string bytes = {};

	bool operator==(const TypedKey&) const = default;
};

// The key-downs and key-ups that type text under layout and then the end
// key: the modifier keys a character needs (the left Shift, AltGr) are
// pressed before its key and let go of after it. Only printable ASCII
// (space to '~') is typed: a code holding any other byte (a control byte
// such as Enter or Escape, which would act on the application) or a
// character the layout has no key for gives nothing.
std::optional<std::vector<TypedKey>> TypedKeys(std::string_view text, EndKey end,
                                               const LayoutKeys& layout);

// The first byte of text that TypedKeys refuses, if any.
std::optional<unsigned char> UntypeableByte(std::string_view text, const LayoutKeys& layout);

// Whether byte is one TypedKeys types at all, under a layout with a key for
// it: printable ASCII.
bool IsTypeableByte(unsigned char byte);

#endif // STRIA_TYPED_KEYS_H
