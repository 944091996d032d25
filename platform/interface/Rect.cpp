// Interface kit: BRect.
#include <Rect.h>

#include <algorithm>
#include <stdio.h>

BRect& BRect::InsetBy(float dx, float dy)
{
	left += dx;
	right -= dx;
	top += dy;
	bottom -= dy;
	return *this;
}

BRect BRect::InsetByCopy(float dx, float dy) const
{
	BRect copy(*this);
	return copy.InsetBy(dx, dy);
}

BRect& BRect::OffsetBy(float dx, float dy)
{
	left += dx;
	right += dx;
	top += dy;
	bottom += dy;
	return *this;
}

BRect BRect::OffsetByCopy(float dx, float dy) const
{
	BRect copy(*this);
	return copy.OffsetBy(dx, dy);
}

BRect& BRect::OffsetTo(float x, float y)
{
	right += x - left;
	bottom += y - top;
	left = x;
	top = y;
	return *this;
}

BRect BRect::OffsetToCopy(float x, float y) const
{
	BRect copy(*this);
	return copy.OffsetTo(x, y);
}

bool BRect::Contains(BPoint point) const
{
	return point.x >= left && point.x <= right && point.y >= top && point.y <= bottom;
}

bool BRect::Contains(BRect rect) const
{
	return rect.left >= left && rect.right <= right && rect.top >= top && rect.bottom <= bottom;
}

bool BRect::Intersects(BRect rect) const
{
	if (!IsValid() || !rect.IsValid())
		return false;
	return std::max(left, rect.left) <= std::min(right, rect.right) &&
	       std::max(top, rect.top) <= std::min(bottom, rect.bottom);
}

BRect BRect::operator&(BRect other) const
{
	return BRect(std::max(left, other.left), std::max(top, other.top), std::min(right, other.right),
	             std::min(bottom, other.bottom));
}

BRect BRect::operator|(BRect other) const
{
	if (!IsValid())
		return other;
	if (!other.IsValid())
		return *this;
	return BRect(std::min(left, other.left), std::min(top, other.top), std::max(right, other.right),
	             std::max(bottom, other.bottom));
}

bool BRect::operator==(BRect other) const
{
	return left == other.left && top == other.top && right == other.right && bottom == other.bottom;
}

void BRect::PrintToStream() const
{
	printf("BRect(l:%.1f, t:%.1f, r:%.1f, b:%.1f)\n", left, top, right, bottom);
}
