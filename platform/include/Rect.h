// Interface kit: BRect. Both edges belong to the rectangle: a rectangle from
// 0 to 9 is ten pixels wide and its Width() is 9.
#ifndef _RECT_H
#define _RECT_H

#include <Point.h>

#include <math.h>

class BRect {
public:
	float left;
	float top;
	float right;
	float bottom;

	// An invalid rectangle (right < left), as the platform makes it.
	BRect() : left(0), top(0), right(-1), bottom(-1) {}
	BRect(float l, float t, float r, float b) : left(l), top(t), right(r), bottom(b) {}
	BRect(BPoint leftTop, BPoint rightBottom)
	    : left(leftTop.x), top(leftTop.y), right(rightBottom.x), bottom(rightBottom.y)
	{
	}

	void Set(float l, float t, float r, float b)
	{
		left = l;
		top = t;
		right = r;
		bottom = b;
	}

	BPoint LeftTop() const { return BPoint(left, top); }
	BPoint RightBottom() const { return BPoint(right, bottom); }
	BPoint LeftBottom() const { return BPoint(left, bottom); }
	BPoint RightTop() const { return BPoint(right, top); }
	void SetLeftTop(BPoint point)
	{
		left = point.x;
		top = point.y;
	}
	void SetRightBottom(BPoint point)
	{
		right = point.x;
		bottom = point.y;
	}

	float Width() const { return right - left; }
	float Height() const { return bottom - top; }
	int32 IntegerWidth() const { return (int32)ceilf(right - left); }
	int32 IntegerHeight() const { return (int32)ceilf(bottom - top); }
	bool IsValid() const { return left <= right && top <= bottom; }

	BRect& InsetBy(float dx, float dy);
	BRect& InsetBy(BPoint delta) { return InsetBy(delta.x, delta.y); }
	BRect InsetByCopy(float dx, float dy) const;
	BRect& OffsetBy(float dx, float dy);
	BRect& OffsetBy(BPoint delta) { return OffsetBy(delta.x, delta.y); }
	BRect OffsetByCopy(float dx, float dy) const;
	BRect& OffsetTo(float x, float y);
	BRect& OffsetTo(BPoint point) { return OffsetTo(point.x, point.y); }
	BRect OffsetToCopy(float x, float y) const;

	bool Contains(BPoint point) const;
	bool Contains(BRect rect) const;
	bool Intersects(BRect rect) const;

	// Intersection and union; an empty intersection is invalid.
	BRect operator&(BRect other) const;
	BRect operator|(BRect other) const;
	bool operator==(BRect other) const;
	bool operator!=(BRect other) const { return !(*this == other); }

	void PrintToStream() const;
};

#endif // _RECT_H
