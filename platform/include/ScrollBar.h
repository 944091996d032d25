// Interface kit: BScrollBar, a bar with two arrow buttons and a thumb that
// scrolls its target view.
#ifndef _SCROLL_BAR_H
#define _SCROLL_BAR_H

#include <View.h>

class BScrollBar : public BView {
public:
	BScrollBar(BRect frame, const char* name, BView* target, float min, float max,
	           orientation direction);
	~BScrollBar() override;

	// Moves the thumb and scrolls the target; clamped to the range.
	void SetValue(float value);
	float Value() const { return fValue; }
	virtual void ValueChanged(float newValue);

	void SetRange(float min, float max);
	void GetRange(float* min, float* max) const;
	// The visible share of the target, 0 to 1: the thumb's length.
	void SetProportion(float proportion);
	float Proportion() const { return fProportion; }
	void SetSteps(float smallStep, float largeStep);
	void GetSteps(float* smallStep, float* largeStep) const;

	void SetTarget(BView* target);
	BView* Target() const { return fTarget; }
	orientation Orientation() const { return fOrientation; }

	void Draw(BRect updateRect) override;
	void MouseDown(BPoint where) override;
	void MouseUp(BPoint where) override;
	void MouseMoved(BPoint where, uint32 transit, const BMessage* dragMessage) override;

	// The thumb's rectangle in the bar's coordinates.
	BRect ThumbFrame() const;

private:
	friend class BView;

	float _Position(BPoint where) const;
	float _TrackLength() const;
	void _TargetScrolled(float value);

	BView* fTarget;
	orientation fOrientation;
	float fMin;
	float fMax;
	float fValue;
	float fProportion;
	float fSmallStep;
	float fLargeStep;
	bool fDragging;
	float fDragOffset;
};

#endif // _SCROLL_BAR_H
