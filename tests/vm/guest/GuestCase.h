// One case of the test machine: its keyboards, the server it starts, what
// the virtual keyboard typed, and the files it leaves in its results folder
// for the host to judge.
#ifndef STRIA_TEST_VM_GUEST_CASE_H
#define STRIA_TEST_VM_GUEST_CASE_H

#include "NodeReader.h"
#include "ServerProcess.h"
#include "TestKeyboard.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace stria::test::vm {

class GuestCase {
public:
	GuestCase(const std::string& results, const std::string& name);
	~GuestCase();

	const std::string& Folder() const { return fFolder; }
	// A scratch folder of the guest's own (not the shared results folder,
	// where sockets cannot live).
	const std::string& Scratch() const { return fScratch; }

	// Starts stria-input-server on the keyboards' links with --uinput, the
	// control socket in the scratch folder, and extra; reads the virtual
	// keyboard, and returns once the server reads every keyboard.
	void StartServer(const std::vector<TestKeyboard*>& keyboards,
	                 const std::vector<std::string>& extra = {"--subscribe", "--print"});
	ServerProcess& Server() { return *fServer; }
	NodeReader& Typed() { return *fTyped; }
	std::string ControlSocket() const { return fScratch + "/control"; }

	// Signals the server, waits for it and records how it ended.
	void StopServer(int signal);

	// Waits until the server's standard output, or its errors, hold count
	// lines that contain text.
	bool WaitForOutput(const std::string& text, size_t count, std::chrono::seconds limit);
	bool WaitForErrors(const std::string& text, size_t count, std::chrono::seconds limit);

	// Writes a file of the results folder.
	void Save(const std::string& file, const std::string& text) const;
	void SaveRecords(const std::string& file, const std::vector<EventRecord>& records) const;
	// Adds a "name=value" line to the file "facts".
	void Fact(const std::string& name, const std::string& value) const;
	// Adds a line to the file "timeline": milliseconds since the case
	// began, and what happened.
	void Note(const std::string& what) const;

private:
	bool WaitForText(bool errors, const std::string& text, size_t count,
	                 std::chrono::seconds limit);
	void SaveServer();

	std::string fFolder;
	std::string fScratch;
	std::chrono::steady_clock::time_point fStart = std::chrono::steady_clock::now();
	std::unique_ptr<ServerProcess> fServer;
	std::unique_ptr<NodeReader> fTyped;
	bool fSaved = false;
};

// The server opens keyboards before it reads them, and the kernel keeps
// only a few dozen events for a reader: a scan typed before the server
// reads would lose its middle. A Right Ctrl tapped on each keyboard shows
// that it is read once the virtual keyboard types it; what it typed is then
// forgotten.
void WaitReading(NodeReader& typed, const std::vector<TestKeyboard*>& keyboards);

// The event node of the server's virtual keyboard, once it is there.
std::string WaitForVirtualKeyboard(ServerProcess* server);

// Plays each session on its keyboard side by side, all from one moment.
struct Playing {
	TestKeyboard& keyboard;
	const std::vector<EventRecord>& records;
};
void PlayTogether(const std::vector<Playing>& sessions, bigtime_t origin);

// Counts the key presses among records.
size_t CountPresses(const std::vector<EventRecord>& records, uint16 code);

} // namespace stria::test::vm

#endif // STRIA_TEST_VM_GUEST_CASE_H
