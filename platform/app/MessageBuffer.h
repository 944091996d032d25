// Private to the application kit: a growable array of plain values that keeps
// its first few entries inside the owning object, so that a small message
// (a key press) lives in one allocation and copies with one memcpy.
#ifndef STRIA_MESSAGE_BUFFER_H
#define STRIA_MESSAGE_BUFFER_H

#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

namespace BPrivate {

template <typename T, size_t InlineCount>
class MessageBuffer {
	static_assert(std::is_trivially_copyable_v<T>, "MessageBuffer moves its items with memcpy");
	static_assert(InlineCount > 0, "MessageBuffer needs inline room");

public:
	MessageBuffer() : fItems(fInline), fCount(0), fCapacity(InlineCount) {}

	MessageBuffer(const MessageBuffer& other) : MessageBuffer()
	{
		if (!Assign(other.fItems, other.fCount))
			throw std::bad_alloc();
	}

	MessageBuffer& operator=(const MessageBuffer& other)
	{
		if (this != &other && !Assign(other.fItems, other.fCount))
			throw std::bad_alloc();
		return *this;
	}

	~MessageBuffer()
	{
		if (fItems != fInline)
			std::free(fItems);
	}

	size_t Count() const { return fCount; }
	T* Items() { return fItems; }
	const T* Items() const { return fItems; }
	T& operator[](size_t index) { return fItems[index]; }
	const T& operator[](size_t index) const { return fItems[index]; }

	bool Contains(const void* pointer) const
	{
		const T* item = static_cast<const T*>(pointer);
		return item >= fItems && item < fItems + fCapacity;
	}

	// Makes room for at least `count` items; false when memory runs out.
	bool Reserve(size_t count)
	{
		if (count <= fCapacity)
			return true;
		size_t capacity = fCapacity * 2;
		if (capacity < count)
			capacity = count;
		T* items;
		if (fItems == fInline) {
			items = static_cast<T*>(std::malloc(capacity * sizeof(T)));
			if (items != NULL)
				std::memcpy(static_cast<void*>(items), fInline, fCount * sizeof(T));
		} else
			items = static_cast<T*>(std::realloc(static_cast<void*>(fItems), capacity * sizeof(T)));
		if (items == NULL)
			return false;
		fItems = items;
		fCapacity = capacity;
		return true;
	}

	// Replaces the content; `items` may point into this buffer.
	bool Assign(const T* items, size_t count)
	{
		if (count > fCapacity && Contains(items))
			return false; // cannot happen: a part is never larger than the whole
		if (!Reserve(count))
			return false;
		if (count > 0)
			std::memmove(static_cast<void*>(fItems), items, count * sizeof(T));
		fCount = count;
		return true;
	}

	// Opens a gap of `count` uninitialised items at `at`; NULL when memory
	// runs out (the content is then unchanged).
	T* Insert(size_t at, size_t count)
	{
		if (!Reserve(fCount + count))
			return NULL;
		std::memmove(static_cast<void*>(fItems + at + count), fItems + at,
		             (fCount - at) * sizeof(T));
		fCount += count;
		return fItems + at;
	}

	bool Append(const T& item)
	{
		if (fCount == fCapacity && !Reserve(fCount + 1))
			return false;
		fItems[fCount++] = item;
		return true;
	}

	void Erase(size_t at, size_t count)
	{
		std::memmove(static_cast<void*>(fItems + at), fItems + at + count,
		             (fCount - at - count) * sizeof(T));
		fCount -= count;
	}

	void Clear() { fCount = 0; }

private:
	T* fItems;
	size_t fCount;
	size_t fCapacity;
	alignas(8) T fInline[InlineCount];
};

} // namespace BPrivate

#endif // STRIA_MESSAGE_BUFFER_H
