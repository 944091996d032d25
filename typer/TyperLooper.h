// TyperLooper: where the filter sends the typer's scans. It hands each
// STRIA_CATSCAN to the typist, which types it on a thread of its own when
// it has to wait or to pace its keys, so that the looper is soon ready for
// the next.
#ifndef STRIA_TYPER_LOOPER_H
#define STRIA_TYPER_LOOPER_H

#include <Looper.h>

class Typist;

class TyperLooper : public BLooper {
public:
	// typist must outlive the looper.
	explicit TyperLooper(Typist* typist);

	void MessageReceived(BMessage* message) override;

private:
	Typist* fTypist;
};

#endif // STRIA_TYPER_LOOPER_H
