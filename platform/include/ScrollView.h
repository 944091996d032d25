// Interface kit: BScrollView, a frame around a target view with scroll bars
// beside and below it.
#ifndef _SCROLL_VIEW_H
#define _SCROLL_VIEW_H

#include <ScrollBar.h>
#include <View.h>

class BScrollView : public BView {
public:
	// Its frame derives from the target's: the target keeps its place in the
	// parent, the scroll bars go beside and below it and the border around
	// all. The target becomes the scroll view's child.
	BScrollView(const char* name, BView* target, uint32 resizingMode = B_FOLLOW_LEFT | B_FOLLOW_TOP,
	            uint32 flags = 0, bool horizontal = false, bool vertical = false,
	            border_style border = B_FANCY_BORDER);
	~BScrollView() override;

	BScrollBar* ScrollBar(orientation direction) const;
	BView* Target() const { return fTarget; }
	border_style Border() const { return fBorder; }

	void Draw(BRect updateRect) override;

private:
	static float _BorderSize(border_style border);
	static BRect _ComputeFrame(BRect targetFrame, bool horizontal, bool vertical,
	                           border_style border);

	BView* fTarget;
	BScrollBar* fHorizontal;
	BScrollBar* fVertical;
	border_style fBorder;
};

#endif // _SCROLL_VIEW_H
