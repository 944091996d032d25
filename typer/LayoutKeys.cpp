#include "LayoutKeys.h"

#include <UsKeyboard.h>

#include <InterfaceDefs.h>

#include <xkbcommon/xkbcommon.h>

#include <linux/input-event-codes.h>

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <vector>

namespace {

// XKB numbers keys by their evdev code plus 8.
constexpr xkb_keycode_t kEvdevOffset = 8;

constexpr uint32 kLeftShift = B_SHIFT_KEY | B_LEFT_SHIFT_KEY;

struct ContextDeleter {
	void operator()(xkb_context* context) const { xkb_context_unref(context); }
};
struct KeymapDeleter {
	void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
};
struct StateDeleter {
	void operator()(xkb_state* state) const { xkb_state_unref(state); }
};
using Context = std::unique_ptr<xkb_context, ContextDeleter>;
using Keymap = std::unique_ptr<xkb_keymap, KeymapDeleter>;
using State = std::unique_ptr<xkb_state, StateDeleter>;

// libxkbcommon's complaints go into the context's string instead of to
// standard error; the first says best what went wrong.
void KeepFirstError(xkb_context* context, xkb_log_level, const char* format, va_list arguments)
{
	auto* error = static_cast<std::string*>(xkb_context_get_user_data(context));
	if (error == nullptr || !error->empty())
		return;
	char line[512];
	vsnprintf(line, sizeof(line), format, arguments);
	*error = line;
	while (!error->empty() && (error->back() == '\n' || error->back() == ' '))
		error->pop_back();
}

// Whether a folder XKB looks in has the rules; *searched lists them.
bool HasRules(xkb_context* context, const char* rules, std::string* searched)
{
	for (unsigned int index = 0; index < xkb_context_num_include_paths(context); index++) {
		const std::string folder = xkb_context_include_path_get(context, index);
		std::error_code ignored;
		if (std::filesystem::is_regular_file(folder + "/rules/" + rules, ignored))
			return true;
		*searched += (searched->empty() ? "" : ", ") + folder;
	}
	return false;
}

const char* OrNull(const std::string& text)
{
	return text.empty() ? nullptr : text.c_str();
}

xkb_keycode_t XkbCode(const stria::UsKey& key)
{
	return key.linuxCode + kEvdevOffset;
}

bool IsKeypad(xkb_keysym_t symbol)
{
	return symbol >= XKB_KEY_KP_Space && symbol <= XKB_KEY_KP_Equal;
}

// A state with the group locked and the modifier keys down, as the X
// server holds it while the virtual keyboard presses them.
State StateWith(xkb_keymap* keymap, xkb_layout_index_t group,
                const std::vector<const stria::UsKey*>& held)
{
	State state(xkb_state_new(keymap));
	if (!state)
		return state;
	xkb_state_update_mask(state.get(), 0, 0, 0, 0, 0, group);
	for (const stria::UsKey* key : held)
		xkb_state_update_key(state.get(), XkbCode(*key), XKB_KEY_DOWN);
	return state;
}

// The modifier key that selects the third shift level (AltGr): the right
// Alt key in most layouts, another one where options move it there.
const stria::UsKey* Level3Key(xkb_keymap* keymap, xkb_layout_index_t group)
{
	State state = StateWith(keymap, group, {});
	if (!state)
		return nullptr;
	const stria::UsKey* rightAlt = stria::UsKeyboard::FromLinuxCode(KEY_RIGHTALT);
	std::vector<const stria::UsKey*> candidates = {rightAlt};
	for (const stria::UsKey& key : stria::UsKeyboard::Keys()) {
		if (&key != rightAlt && key.modifier != 0 && !stria::UsKeyboard::IsLock(key.beKey))
			candidates.push_back(&key);
	}
	for (const stria::UsKey* key : candidates) {
		if (xkb_state_key_get_one_sym(state.get(), XkbCode(*key)) == XKB_KEY_ISO_Level3_Shift)
			return key;
	}
	return nullptr;
}

bool IsCharacter(char32_t character)
{
	return character >= 0x20 && !(character >= 0x7f && character < 0xa0);
}

} // namespace

std::string LayoutNames::Describe() const
{
	std::string text = layout.empty() ? "us" : layout;
	if (!variant.empty())
		text += "(" + variant + ")";
	if (!options.empty())
		text += " with " + options;
	return text;
}

LayoutKeys::LayoutKeys(std::map<char32_t, LayoutStroke> strokes, std::string name)
    : fStrokes(std::move(strokes)), fName(std::move(name))
{
}

std::shared_ptr<const LayoutKeys> LayoutKeys::FromNames(const LayoutNames& names,
                                                        std::string* error)
{
	// The person's environment (XKB_DEFAULT_LAYOUT and the like) names no
	// layout of the desktop: only what the caller gives counts.
	Context context(xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES));
	if (!context) {
		*error = "the system has no keyboard data: libxkbcommon finds no folder of XKB data "
		         "(install the package xkb-data)";
		return nullptr;
	}
	const char* rules = "evdev";
	std::string searched;
	if (!HasRules(context.get(), rules, &searched)) {
		*error = "the system has no keyboard data: XKB's rules \"" + std::string(rules) +
		         "\" are in none of the folders " + searched + " (install the package xkb-data)";
		return nullptr;
	}
	std::string first;
	xkb_context_set_user_data(context.get(), &first);
	xkb_context_set_log_fn(context.get(), &KeepFirstError);

	const xkb_rule_names rule = {rules, OrNull(names.model), OrNull(names.layout),
	                             OrNull(names.variant), OrNull(names.options)};
	Keymap keymap(xkb_keymap_new_from_names(context.get(), &rule, XKB_KEYMAP_COMPILE_NO_FLAGS));
	xkb_context_set_user_data(context.get(), nullptr);
	if (!keymap) {
		*error = "the keyboard layout \"" + names.Describe() +
		         "\" is not in the system's keyboard data" +
		         (first.empty() ? std::string() : " (" + first + ")");
		return nullptr;
	}
	return FromKeymap(keymap.get(), 0, names.Describe());
}

std::shared_ptr<const LayoutKeys> LayoutKeys::FromKeymap(xkb_keymap* keymap, uint32 group,
                                                         std::string name)
{
	const stria::UsKey* shift = stria::UsKeyboard::FromBeKey(
	        stria::UsKeyboard::KeyForModifier(kLeftShift));
	const stria::UsKey* level3 = Level3Key(keymap, group);

	struct Held {
		std::vector<const stria::UsKey*> keys;
		uint32 modifiers;
	};
	// Fewest modifiers first: a character is typed the plain way when there
	// is one.
	std::vector<Held> combinations = {{{}, 0}, {{shift}, kLeftShift}};
	if (level3 != nullptr) {
		combinations.push_back({{level3}, level3->modifier});
		combinations.push_back({{shift, level3}, kLeftShift | level3->modifier});
	}

	// Where two keys type a character with the same modifiers, the 102nd
	// key (left of Z) loses: a keymap for a keyboard without it may leave
	// it empty.
	std::vector<const stria::UsKey*> keys;
	const stria::UsKey* key102nd = stria::UsKeyboard::FromLinuxCode(KEY_102ND);
	for (const stria::UsKey& key : stria::UsKeyboard::Keys()) {
		if (key.modifier == 0 && &key != key102nd)
			keys.push_back(&key);
	}
	keys.push_back(key102nd);

	std::map<char32_t, LayoutStroke> strokes;
	for (const Held& held : combinations) {
		State state = StateWith(keymap, group, held.keys);
		if (!state)
			return nullptr;
		const xkb_mod_mask_t active =
		        xkb_state_serialize_mods(state.get(), XKB_STATE_MODS_EFFECTIVE);
		for (const stria::UsKey* key : keys) {
			const xkb_keycode_t code = XkbCode(*key);
			const xkb_keysym_t symbol = xkb_state_key_get_one_sym(state.get(), code);
			if (symbol == XKB_KEY_NoSymbol || IsKeypad(symbol))
				continue;
			// A modifier the key's level does not use would reach the
			// application as a shortcut's (Alt+x), not as a character.
			const xkb_mod_mask_t consumed =
			        xkb_state_key_get_consumed_mods2(state.get(), code, XKB_CONSUMED_MODE_XKB);
			if ((active & ~consumed) != 0)
				continue;
			const char32_t character = xkb_keysym_to_utf32(symbol);
			if (IsCharacter(character))
				strokes.emplace(character, LayoutStroke{key->beKey, held.modifiers});
		}
	}
	return std::shared_ptr<const LayoutKeys>(new LayoutKeys(std::move(strokes), std::move(name)));
}

std::optional<LayoutStroke> LayoutKeys::StrokeFor(char32_t character) const
{
	auto found = fStrokes.find(character);
	if (found == fStrokes.end())
		return std::nullopt;
	return found->second;
}
