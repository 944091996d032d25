#include "TypedKeys.h"

#include "LayoutKeys.h"

#include <UsKeyboard.h>

#include <InterfaceDefs.h>

namespace {

std::optional<LayoutStroke> StrokeOf(char character, const LayoutKeys& layout)
{
	const unsigned char byte = static_cast<unsigned char>(character);
	if (!IsTypeableByte(byte))
		return std::nullopt;
	return layout.StrokeFor(byte);
}

// The modifier keys that hold these bits, Shift first.
std::vector<int32> ModifierKeys(uint32 modifiers)
{
	std::vector<int32> keys;
	for (const stria::UsKey& key : stria::UsKeyboard::Keys()) {
		if (key.modifier != 0 && !stria::UsKeyboard::IsLock(key.beKey) &&
		    (key.modifier & ~modifiers) == 0)
			keys.push_back(key.beKey);
	}
	return keys;
}

} // namespace

bool IsTypeableByte(unsigned char byte)
{
	return byte >= ' ' && byte <= '~';
}

std::optional<unsigned char> UntypeableByte(std::string_view text, const LayoutKeys& layout)
{
	for (char character : text) {
		if (!StrokeOf(character, layout))
			return static_cast<unsigned char>(character);
	}
	return std::nullopt;
}

std::optional<std::vector<TypedKey>> TypedKeys(std::string_view text, EndKey end,
                                               const LayoutKeys& layout)
{
	std::vector<TypedKey> keys;
	keys.reserve(text.size() * 2 + 2);
	for (char character : text) {
		std::optional<LayoutStroke> found = StrokeOf(character, layout);
		if (!found)
			return std::nullopt;
		const std::vector<int32> held = ModifierKeys(found->modifiers);
		for (int32 modifier : held)
			keys.push_back({modifier, true});
		keys.push_back({found->key, true, std::string(1, character)});
		keys.push_back({found->key, false});
		for (auto modifier = held.rbegin(); modifier != held.rend(); ++modifier)
			keys.push_back({*modifier, false});
	}
	// Enter and Tab are the same keys under every layout.
	if (end != EndKey::None) {
		const int32 key = stria::UsKeyboard::StrokeFor(end == EndKey::Enter ? B_ENTER : B_TAB)->key;
		keys.push_back({key, true});
		keys.push_back({key, false});
	}
	return keys;
}
