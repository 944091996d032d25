// The keys of a US PC keyboard that type a text, as a person would type it.
#ifndef STRIA_TYPED_KEYS_H
#define STRIA_TYPED_KEYS_H

#include "TyperSettings.h"

#include <SupportDefs.h>

#include <optional>
#include <string_view>
#include <vector>

// One key going down or up (Be key code).
struct TypedKey {
	int32 key;
	bool down;

	bool operator==(const TypedKey&) const = default;
};

// The key-downs and key-ups that type text and then the end key: a
// character that needs Shift gets the left Shift pressed before its key and
// let go of after it. Only printable ASCII (space to '~') is typed: a code
// holding any other byte (a control byte such as Enter or Escape, which
// would act on the application, or a byte no US key types) gives nothing.
std::optional<std::vector<TypedKey>> TypedKeys(std::string_view text, EndKey end);

// The byte of text that TypedKeys refuses, if any.
std::optional<unsigned char> UntypeableByte(std::string_view text);

#endif // STRIA_TYPED_KEYS_H
