// TyperLooper: where the filter sends the typer's scans. It hands each
// STRIA_CATSCAN to the typist, which types it on a thread of its own when
// it has to wait or to pace its keys, so that the looper is soon ready for
// the next.
//
// Only the filter of this server gives the typer scans: a message that
// comes from another process (any user program could reach the looper's
// port) is refused, whatever it is, the first with a log line naming the
// process and the rest counted, told in one line when the looper goes.
#ifndef STRIA_TYPER_LOOPER_H
#define STRIA_TYPER_LOOPER_H

#include <DropCounter.h>
#include <Looper.h>

#include <atomic>
#include <functional>
#include <string>

class Typist;

class TyperLooper : public BLooper {
public:
	using Logger = std::function<void(const std::string&)>;

	// typist must outlive the looper.
	TyperLooper(Typist* typist, Logger log);
	~TyperLooper() override;

	void DispatchMessage(BMessage* message, BHandler* handler) override;
	void MessageReceived(BMessage* message) override;

	// Messages refused so far for coming from another process.
	int64 CountRefused() const { return fRefused.load(); }

private:
	Typist* fTypist;
	Logger fLog;
	// The looper's thread's own.
	stria::DropCounter fRefusals;
	std::atomic<int64> fRefused{0};
};

#endif // STRIA_TYPER_LOOPER_H
