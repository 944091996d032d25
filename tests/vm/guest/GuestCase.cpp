#include "GuestCase.h"

#include "EventFile.h"
#include "UinputKeyboard.h"

#include <linux/input-event-codes.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace stria::test::vm {

namespace {

const std::string kServerProgram = STRIA_BINARY_DIR "/bin/stria-input-server";

size_t CountLines(const std::string& text, const std::string& part)
{
	size_t count = 0;
	for (const std::string& line : Lines(text)) {
		if (line.find(part) != std::string::npos)
			count++;
	}
	return count;
}

} // namespace

GuestCase::GuestCase(const std::string& results, const std::string& name)
    : fFolder(results + "/" + name), fScratch("/tmp/stria-vm-" + name)
{
	fs::create_directories(fFolder);
	fs::create_directories(fScratch);
}

GuestCase::~GuestCase()
{
	if (fServer && !fSaved) {
		fServer->Signal(SIGKILL);
		fServer->Wait(30s);
		SaveServer();
	}
	fTyped.reset();
	std::error_code error;
	fs::remove_all(fScratch, error);
}

void GuestCase::StartServer(const std::vector<TestKeyboard*>& keyboards,
                            const std::vector<std::string>& extra)
{
	std::vector<std::string> arguments;
	for (const TestKeyboard* keyboard : keyboards) {
		arguments.push_back("--device");
		arguments.push_back(keyboard->Link());
	}
	arguments.push_back("--uinput");
	arguments.push_back("--control-socket");
	arguments.push_back(ControlSocket());
	arguments.insert(arguments.end(), extra.begin(), extra.end());
	Note("server started");
	fServer = std::make_unique<ServerProcess>(kServerProgram, arguments);
	fTyped = std::make_unique<NodeReader>(WaitForVirtualKeyboard(fServer.get()));
	Note("virtual keyboard there");
	WaitReading(*fTyped, keyboards);
	Note("keyboards read");
}

std::string WaitForVirtualKeyboard(ServerProcess* server)
{
	std::string node;
	for (int tries = 0; tries < 6000 && node.empty(); tries++) {
		if (server != nullptr && server->Wait(0s))
			break;
		node = FindNode(UinputKeyboard::kDeviceName);
		if (node.empty())
			std::this_thread::sleep_for(10ms);
	}
	if (node.empty())
		throw std::runtime_error("no virtual keyboard came" +
		                         (server != nullptr ? ": " + server->Errors() : std::string()));
	return node;
}

void WaitReading(NodeReader& typed, const std::vector<TestKeyboard*>& keyboards)
{
	for (TestKeyboard* keyboard : keyboards) {
		// Held as long as a person's tap, or it would not be typed.
		keyboard->Key(KEY_RIGHTCTRL, 1);
		std::this_thread::sleep_for(30ms);
		keyboard->Key(KEY_RIGHTCTRL, 0);
		const bool through = typed.WaitFor(
		        [](const std::vector<EventRecord>& records) {
			        return std::any_of(records.begin(), records.end(), [](const auto& r) {
				        return r.type == EV_KEY && r.code == KEY_RIGHTCTRL && r.value == 0;
			        });
		        },
		        60000ms);
		if (!through)
			throw std::runtime_error("the server does not read " + keyboard->Link());
		typed.Clear();
	}
}

void GuestCase::StopServer(int signal)
{
	Note("signal " + std::to_string(signal));
	fServer->Signal(signal);
	fServer->Wait(60s);
	Note("server ended");
	if (fTyped)
		fTyped->WaitGone(10s);
	Note("virtual keyboard gone");
	SaveServer();
}

void GuestCase::SaveServer()
{
	fSaved = true;
	const std::optional<int> status = fServer->Wait(0s);
	Save("server.status", status ? std::to_string(*status) : std::string("none"));
	Save("server.out", fServer->Output());
	Save("server.err", fServer->Errors());
	if (fTyped) {
		fTyped->Stop();
		SaveRecords("typed.events", fTyped->Records());
	}
}

bool GuestCase::WaitForText(bool errors, const std::string& text, size_t count,
                            std::chrono::seconds limit)
{
	const auto end = std::chrono::steady_clock::now() + limit;
	while (CountLines(errors ? fServer->Errors() : fServer->Output(), text) < count) {
		if (std::chrono::steady_clock::now() > end)
			return false;
		std::this_thread::sleep_for(20ms);
	}
	return true;
}

bool GuestCase::WaitForOutput(const std::string& text, size_t count, std::chrono::seconds limit)
{
	return WaitForText(false, text, count, limit);
}

bool GuestCase::WaitForErrors(const std::string& text, size_t count, std::chrono::seconds limit)
{
	return WaitForText(true, text, count, limit);
}

void GuestCase::Save(const std::string& file, const std::string& text) const
{
	std::ofstream(fFolder + "/" + file, std::ios::binary) << text;
}

void GuestCase::SaveRecords(const std::string& file, const std::vector<EventRecord>& records) const
{
	const std::vector<uint8> bytes = EventFile::Encode(records);
	std::ofstream(fFolder + "/" + file, std::ios::binary)
	        .write(reinterpret_cast<const char*>(bytes.data()),
	               static_cast<std::streamsize>(bytes.size()));
}

void GuestCase::Note(const std::string& what) const
{
	const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
	        std::chrono::steady_clock::now() - fStart);
	std::ofstream(fFolder + "/timeline", std::ios::app) << elapsed.count() << " " << what << "\n";
}

void GuestCase::Fact(const std::string& name, const std::string& value) const
{
	std::ofstream(fFolder + "/facts", std::ios::app) << name << "=" << value << "\n";
}

void PlayTogether(const std::vector<Playing>& sessions, bigtime_t origin)
{
	const auto start = std::chrono::steady_clock::now() + 100ms;
	std::vector<std::thread> players;
	std::vector<std::exception_ptr> failures(sessions.size());
	for (size_t i = 0; i < sessions.size(); i++) {
		players.emplace_back([&, i] {
			try {
				sessions[i].keyboard.Play(sessions[i].records, start, origin);
			} catch (...) {
				failures[i] = std::current_exception();
			}
		});
	}
	for (std::thread& player : players)
		player.join();
	for (const std::exception_ptr& failure : failures) {
		if (failure)
			std::rethrow_exception(failure);
	}
}

size_t CountPresses(const std::vector<EventRecord>& records, uint16 code)
{
	return static_cast<size_t>(std::count_if(records.begin(), records.end(), [&](const auto& r) {
		return r.type == EV_KEY && r.code == code && r.value == 1;
	}));
}

} // namespace stria::test::vm
