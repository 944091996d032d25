// BRect: both edges belong to a rectangle.
#include <Rect.h>

#include <gtest/gtest.h>

namespace {

struct RectCase {
	const char* what;
	BRect rect;
	float width;
	float height;
	int32 integerWidth;
	bool valid;
};

TEST(RectTest, SizesCountBothEdges)
{
	const RectCase cases[] = {
	        {"window frame", BRect(100, 100, 600, 400), 500, 300, 500, true},
	        {"one pixel", BRect(5, 5, 5, 5), 0, 0, 0, true},
	        {"fraction rounds up", BRect(0, 0, 10.25f, 1), 10.25f, 1, 11, true},
	        {"default is invalid", BRect(), -1, -1, -1, false},
	        {"right left of left", BRect(10, 0, 9, 5), -1, 5, -1, false},
	};
	for (const RectCase& c : cases) {
		SCOPED_TRACE(c.what);
		EXPECT_FLOAT_EQ(c.rect.Width(), c.width);
		EXPECT_FLOAT_EQ(c.rect.Height(), c.height);
		EXPECT_EQ(c.rect.IntegerWidth(), c.integerWidth);
		EXPECT_EQ(c.rect.IsValid(), c.valid);
	}
}

TEST(RectTest, InsetOffsetAndConvert)
{
	BRect rect(0, 0, 200, 300);
	rect.InsetBy(5, 5);
	EXPECT_EQ(rect, BRect(5, 5, 195, 295));
	EXPECT_EQ(BRect(10, 20, 30, 40).OffsetToCopy(0, 0), BRect(0, 0, 20, 20));
	EXPECT_EQ(BRect(10, 20, 30, 40).OffsetByCopy(-10, 5), BRect(0, 25, 20, 45));
	EXPECT_EQ(BRect(0, 0, 10, 10).InsetByCopy(-2, -2), BRect(-2, -2, 12, 12));
}

struct ContainsCase {
	BPoint point;
	bool inside;
};

TEST(RectTest, ContainsIncludesEdges)
{
	const BRect rect(10, 10, 20, 20);
	const ContainsCase cases[] = {
	        {BPoint(10, 10), true},     {BPoint(20, 20), true},     {BPoint(15, 20), true},
	        {BPoint(20.5f, 15), false}, {BPoint(9.99f, 15), false}, {BPoint(15, 21), false},
	};
	for (const ContainsCase& c : cases)
		EXPECT_EQ(rect.Contains(c.point), c.inside) << c.point.x << "," << c.point.y;
}

TEST(RectTest, IntersectionAndUnion)
{
	BRect a(0, 0, 10, 10);
	EXPECT_TRUE(a.Intersects(BRect(10, 10, 20, 20))) << "touching edges share a pixel";
	EXPECT_FALSE(a.Intersects(BRect(11, 0, 20, 10)));
	EXPECT_EQ(a & BRect(5, -5, 20, 5), BRect(5, 0, 10, 5));
	EXPECT_FALSE((a & BRect(11, 11, 12, 12)).IsValid());
	EXPECT_EQ(a | BRect(20, 20, 30, 30), BRect(0, 0, 30, 30));
	EXPECT_EQ(BRect() | a, a) << "an invalid rectangle adds nothing";
}

} // namespace
