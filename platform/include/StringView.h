// Interface kit: BStringView, a view that draws one line of text.
#ifndef _STRING_VIEW_H
#define _STRING_VIEW_H

#include <View.h>

class BStringView : public BView {
public:
	BStringView(BRect frame, const char* name, const char* text,
	            uint32 resizingMode = B_FOLLOW_LEFT | B_FOLLOW_TOP, uint32 flags = B_WILL_DRAW);
	~BStringView() override;

	// Keeps its own copy of the text.
	void SetText(const char* text);
	const char* Text() const { return fText; }
	void SetAlignment(alignment flag);
	alignment Alignment() const { return fAlignment; }

	void Draw(BRect updateRect) override;
	void AttachedToWindow() override;

private:
	char* fText;
	alignment fAlignment;
};

#endif // _STRING_VIEW_H
