#include "KeyboardList.h"

#include <linux/input-event-codes.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace stria {

namespace {

// Keys every keyboard that can type a scan has; mice, power buttons and
// media remotes lack them.
constexpr std::array<unsigned, 5> kTypingKeys = {KEY_A, KEY_Z, KEY_1, KEY_DOT, KEY_ENTER};

std::string ReadLine(const fs::path& path)
{
	std::ifstream in(path);
	std::string line;
	std::getline(in, line);
	return line;
}

std::string Canonical(const fs::path& path)
{
	std::error_code error;
	fs::path resolved = fs::canonical(path, error);
	return error ? std::string() : resolved.string();
}

std::vector<std::string> LinksTo(const fs::path& folder, const std::string& target)
{
	std::vector<std::string> links;
	std::error_code error;
	for (const auto& entry : fs::directory_iterator(folder, error)) {
		if (Canonical(entry.path()) == target)
			links.push_back(entry.path().string());
	}
	std::sort(links.begin(), links.end());
	return links;
}

unsigned EventNumber(const std::string& name)
{
	return static_cast<unsigned>(std::stoul(name.substr(5)));
}

} // namespace

KeyboardList::KeyboardList(std::string classRoot, std::string deviceRoot)
    : fClassRoot(std::move(classRoot)), fDeviceRoot(std::move(deviceRoot))
{
}

bool KeyboardList::HasBit(const std::string& bitmap, unsigned bit)
{
	std::istringstream in(bitmap);
	std::vector<std::string> words;
	for (std::string word; in >> word;)
		words.push_back(word);
	const unsigned wordBits = sizeof(unsigned long) * 8;
	const size_t index = bit / wordBits;
	if (index >= words.size())
		return false;
	const std::string& word = words[words.size() - 1 - index];
	unsigned long value = 0;
	try {
		value = std::stoul(word, nullptr, 16);
	} catch (...) {
		return false;
	}
	return (value >> (bit % wordBits)) & 1;
}

std::vector<KeyboardList::Keyboard> KeyboardList::Find() const
{
	std::vector<Keyboard> keyboards;
	std::error_code error;
	for (const auto& entry : fs::directory_iterator(fClassRoot, error)) {
		const std::string eventName = entry.path().filename().string();
		if (eventName.rfind("event", 0) != 0 || eventName.size() == 5 ||
		    eventName.find_first_not_of("0123456789", 5) != std::string::npos) {
			continue;
		}
		const fs::path device = entry.path() / "device";
		const std::string keys = ReadLine(device / "capabilities" / "key");
		const bool typing = std::all_of(kTypingKeys.begin(), kTypingKeys.end(),
		                                [&](unsigned key) { return HasBit(keys, key); });
		if (!typing)
			continue;
		Keyboard keyboard;
		keyboard.node = (fs::path(fDeviceRoot) / eventName).string();
		keyboard.name = ReadLine(device / "name");
		const std::string target = Canonical(keyboard.node);
		if (!target.empty()) {
			keyboard.links = LinksTo(fs::path(fDeviceRoot) / "by-id", target);
			for (std::string& link : LinksTo(fs::path(fDeviceRoot) / "by-path", target))
				keyboard.links.push_back(std::move(link));
		}
		keyboard.readable = ::access(keyboard.node.c_str(), R_OK) == 0;
		keyboards.push_back(std::move(keyboard));
	}
	std::sort(keyboards.begin(), keyboards.end(), [](const Keyboard& a, const Keyboard& b) {
		return EventNumber(fs::path(a.node).filename().string()) <
		       EventNumber(fs::path(b.node).filename().string());
	});
	return keyboards;
}

bool KeyboardList::Print(std::ostream& out) const
{
	const std::vector<Keyboard> keyboards = Find();
	if (keyboards.empty()) {
		out << "No keyboards found: " << fClassRoot << " lists no input device with letter keys.\n"
		    << "Is the scanner plugged in? (Containers and some virtual machines have no "
		    << fDeviceRoot << ".)\n";
		return false;
	}
	out << "Keyboards (pass the scanner's path to --device):\n";
	for (const Keyboard& keyboard : keyboards) {
		out << "\n  " << (keyboard.name.empty() ? "(no name)" : keyboard.name) << "\n";
		for (const std::string& link : keyboard.links)
			out << "    " << link << "\n";
		out << "    " << keyboard.node;
		if (!keyboard.readable)
			out << "  (you may not read it yet: install the udev rule)";
		out << "\n";
	}
	return true;
}

} // namespace stria
