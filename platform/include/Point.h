// Interface kit: BPoint, a location in a view's or the screen's coordinates.
#ifndef _POINT_H
#define _POINT_H

#include <SupportDefs.h>

class BRect;

class BPoint {
public:
	float x;
	float y;

	BPoint() : x(0), y(0) {}
	BPoint(float X, float Y) : x(X), y(Y) {}

	void Set(float X, float Y)
	{
		x = X;
		y = Y;
	}

	// Moves the point inside the rectangle, onto its nearest edge.
	void ConstrainTo(BRect rect);
	void PrintToStream() const;

	BPoint operator+(const BPoint& other) const { return BPoint(x + other.x, y + other.y); }
	BPoint operator-(const BPoint& other) const { return BPoint(x - other.x, y - other.y); }
	BPoint operator-() const { return BPoint(-x, -y); }
	BPoint& operator+=(const BPoint& other)
	{
		x += other.x;
		y += other.y;
		return *this;
	}
	BPoint& operator-=(const BPoint& other)
	{
		x -= other.x;
		y -= other.y;
		return *this;
	}
	bool operator==(const BPoint& other) const { return x == other.x && y == other.y; }
	bool operator!=(const BPoint& other) const { return !(*this == other); }
};

extern const BPoint B_ORIGIN;

#endif // _POINT_H
