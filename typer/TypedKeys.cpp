#include "TypedKeys.h"

#include <UsKeyboard.h>

#include <InterfaceDefs.h>

namespace {

std::optional<stria::KeyStroke> StrokeOf(char character)
{
	const unsigned char byte = static_cast<unsigned char>(character);
	if (byte < ' ' || byte > '~')
		return std::nullopt;
	return stria::UsKeyboard::StrokeFor(character);
}

} // namespace

std::optional<unsigned char> UntypeableByte(std::string_view text)
{
	for (char character : text) {
		if (!StrokeOf(character))
			return static_cast<unsigned char>(character);
	}
	return std::nullopt;
}

std::optional<std::vector<TypedKey>> TypedKeys(std::string_view text, EndKey end)
{
	const int32 leftShift = stria::UsKeyboard::KeyForModifier(B_SHIFT_KEY | B_LEFT_SHIFT_KEY);
	std::vector<TypedKey> keys;
	keys.reserve(text.size() * 2 + 2);
	auto stroke = [&keys, leftShift](const stria::KeyStroke& stroke) {
		if (stroke.shift)
			keys.push_back({leftShift, true});
		keys.push_back({stroke.key, true});
		keys.push_back({stroke.key, false});
		if (stroke.shift)
			keys.push_back({leftShift, false});
	};
	for (char character : text) {
		std::optional<stria::KeyStroke> found = StrokeOf(character);
		if (!found)
			return std::nullopt;
		stroke(*found);
	}
	if (end != EndKey::None)
		stroke(*stria::UsKeyboard::StrokeFor(end == EndKey::Enter ? B_ENTER : B_TAB));
	return keys;
}
