// Reads an evdev node on a thread of its own, as a desktop would, and keeps
// every record until the node goes away or the reader is stopped.
#ifndef STRIA_TEST_VM_NODE_READER_H
#define STRIA_TEST_VM_NODE_READER_H

#include "EventRecord.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace stria::test::vm {

class NodeReader {
public:
	// Opens node (without taking it); throws std::runtime_error when it
	// cannot.
	explicit NodeReader(const std::string& node);
	~NodeReader();

	NodeReader(const NodeReader&) = delete;
	NodeReader& operator=(const NodeReader&) = delete;

	// Waits up to limit until what was read satisfies done; its last
	// answer.
	bool WaitFor(const std::function<bool(const std::vector<EventRecord>&)>& done,
	             std::chrono::milliseconds limit);
	// Waits up to limit for the node to go away.
	bool WaitGone(std::chrono::milliseconds limit);

	std::vector<EventRecord> Records();
	// Forgets what was read so far.
	void Clear();
	// Ends reading; what was read stays.
	void Stop();
	// The Linux key codes the kernel holds down on the node.
	std::vector<uint16> KeysDown();

private:
	void Loop();

	int fFd = -1;
	int fWake = -1;
	std::mutex fLock;
	std::condition_variable fChanged;
	std::vector<EventRecord> fRecords;
	bool fGone = false;
	std::thread fThread;
};

} // namespace stria::test::vm

#endif // STRIA_TEST_VM_NODE_READER_H
