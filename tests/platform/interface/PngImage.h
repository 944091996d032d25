// Test support: reads a PNG file and answers questions about its pixels.
#ifndef STRIA_TEST_PNG_IMAGE_H
#define STRIA_TEST_PNG_IMAGE_H

#include <cairo.h>

#include <stdint.h>
#include <string>

class PngImage {
public:
	explicit PngImage(const std::string& path)
	    : fSurface(cairo_image_surface_create_from_png(path.c_str()))
	{
	}
	~PngImage() { cairo_surface_destroy(fSurface); }
	PngImage(const PngImage&) = delete;
	PngImage& operator=(const PngImage&) = delete;

	bool IsValid() const { return cairo_surface_status(fSurface) == CAIRO_STATUS_SUCCESS; }
	int Width() const { return cairo_image_surface_get_width(fSurface); }
	int Height() const { return cairo_image_surface_get_height(fSurface); }

	// 0xRRGGBB of a pixel.
	uint32_t Pixel(int x, int y) const
	{
		const unsigned char* data = cairo_image_surface_get_data(fSurface);
		int stride = cairo_image_surface_get_stride(fSurface);
		return *(const uint32_t*)(data + y * stride + x * 4) & 0xffffff;
	}

	// How many pixels of the rectangle (both edges included) match.
	template <typename Predicate>
	int Count(int left, int top, int right, int bottom, Predicate predicate) const
	{
		int count = 0;
		for (int y = top; y <= bottom; y++) {
			for (int x = left; x <= right; x++) {
				if (predicate(Pixel(x, y)))
					count++;
			}
		}
		return count;
	}

	int CountColor(int left, int top, int right, int bottom, uint32_t color) const
	{
		return Count(left, top, right, bottom, [color](uint32_t pixel) { return pixel == color; });
	}

	// Pixels clearly darker than the grey of a panel: text drawn in black.
	int CountDark(int left, int top, int right, int bottom) const
	{
		return Count(left, top, right, bottom, [](uint32_t pixel) {
			return ((pixel >> 16) & 0xff) + ((pixel >> 8) & 0xff) + (pixel & 0xff) < 3 * 110;
		});
	}

	// Pixels clearly lighter than the list's selection colour: white text
	// on it.
	int CountLight(int left, int top, int right, int bottom) const
	{
		return Count(left, top, right, bottom, [](uint32_t pixel) {
			return ((pixel >> 16) & 0xff) > 200 && ((pixel >> 8) & 0xff) > 200 &&
			       (pixel & 0xff) > 200;
		});
	}

private:
	cairo_surface_t* fSurface;
};

inline uint32_t Rgb(int red, int green, int blue)
{
	return (uint32_t)(red << 16 | green << 8 | blue);
}

#endif // STRIA_TEST_PNG_IMAGE_H
