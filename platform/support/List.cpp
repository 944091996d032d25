#include <List.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

BList::BList(int32 blockSize)
    : fObjectList(NULL), fPhysicalSize(0), fItemCount(0), fBlockSize(std::max(blockSize, 1)),
      fResizeThreshold(0)
{
	// No block until the first item: an out-list that stays empty, as most
	// do, costs no allocation.
}

BList::BList(const BList& other) : BList(other.fBlockSize)
{
	*this = other;
}

BList::~BList()
{
	free(fObjectList);
}

BList& BList::operator=(const BList& other)
{
	if (this != &other) {
		fBlockSize = other.fBlockSize;
		if (_ResizeArray(other.fItemCount)) {
			fItemCount = other.fItemCount;
			if (fItemCount > 0)
				memcpy(fObjectList, other.fObjectList, size_t(fItemCount) * sizeof(void*));
		}
	}
	return *this;
}

bool BList::operator==(const BList& other) const
{
	return fItemCount == other.fItemCount &&
	       (fItemCount == 0 ||
	        memcmp(fObjectList, other.fObjectList, size_t(fItemCount) * sizeof(void*)) == 0);
}

bool BList::operator!=(const BList& other) const
{
	return !(*this == other);
}

bool BList::AddItem(void* item, int32 index)
{
	if (index < 0 || index > fItemCount || fItemCount == INT32_MAX)
		return false;
	if (fItemCount + 1 > fPhysicalSize && !_ResizeArray(fItemCount + 1))
		return false;
	memmove(fObjectList + index + 1, fObjectList + index,
	        size_t(fItemCount - index) * sizeof(void*));
	fObjectList[index] = item;
	fItemCount++;
	return true;
}

bool BList::AddItem(void* item)
{
	return AddItem(item, fItemCount);
}

bool BList::AddList(const BList* list, int32 index)
{
	if (list == NULL || index < 0 || index > fItemCount)
		return false;
	int32 count = list->fItemCount;
	if (count == 0)
		return true;
	if (count > INT32_MAX - fItemCount || !_ResizeArray(fItemCount + count))
		return false;
	// The list may be this one: its items are read before they move only
	// when they lie before the gap, so copy them out first.
	void** items = static_cast<void**>(malloc(size_t(count) * sizeof(void*)));
	if (items == NULL)
		return false;
	memcpy(items, list->fObjectList, size_t(count) * sizeof(void*));
	memmove(fObjectList + index + count, fObjectList + index,
	        size_t(fItemCount - index) * sizeof(void*));
	memcpy(fObjectList + index, items, size_t(count) * sizeof(void*));
	free(items);
	fItemCount += count;
	return true;
}

bool BList::AddList(const BList* list)
{
	return AddList(list, fItemCount);
}

bool BList::RemoveItem(void* item)
{
	int32 index = IndexOf(item);
	if (index < 0)
		return false;
	RemoveItem(index);
	return true;
}

void* BList::RemoveItem(int32 index)
{
	if (index < 0 || index >= fItemCount)
		return NULL;
	void* item = fObjectList[index];
	RemoveItems(index, 1);
	return item;
}

bool BList::RemoveItems(int32 index, int32 count)
{
	if (index < 0 || index >= fItemCount || count <= 0)
		return false;
	count = std::min(count, fItemCount - index);
	memmove(fObjectList + index, fObjectList + index + count,
	        size_t(fItemCount - index - count) * sizeof(void*));
	fItemCount -= count;
	if (fItemCount <= fResizeThreshold)
		_ResizeArray(fItemCount);
	return true;
}

bool BList::ReplaceItem(int32 index, void* item)
{
	if (index < 0 || index >= fItemCount)
		return false;
	fObjectList[index] = item;
	return true;
}

void BList::MakeEmpty()
{
	fItemCount = 0;
	_ResizeArray(0);
}

void BList::SortItems(int (*compareFunc)(const void*, const void*))
{
	if (compareFunc != NULL && fItemCount > 1)
		qsort(fObjectList, size_t(fItemCount), sizeof(void*), compareFunc);
}

bool BList::SwapItems(int32 indexA, int32 indexB)
{
	if (indexA < 0 || indexA >= fItemCount || indexB < 0 || indexB >= fItemCount)
		return false;
	std::swap(fObjectList[indexA], fObjectList[indexB]);
	return true;
}

bool BList::MoveItem(int32 fromIndex, int32 toIndex)
{
	if (fromIndex < 0 || fromIndex >= fItemCount || toIndex < 0 || toIndex >= fItemCount)
		return false;
	void* item = fObjectList[fromIndex];
	if (fromIndex < toIndex) {
		memmove(fObjectList + fromIndex, fObjectList + fromIndex + 1,
		        size_t(toIndex - fromIndex) * sizeof(void*));
	} else {
		memmove(fObjectList + toIndex + 1, fObjectList + toIndex,
		        size_t(fromIndex - toIndex) * sizeof(void*));
	}
	fObjectList[toIndex] = item;
	return true;
}

void* BList::ItemAt(int32 index) const
{
	return index >= 0 && index < fItemCount ? fObjectList[index] : NULL;
}

void* BList::FirstItem() const
{
	return ItemAt(0);
}

void* BList::LastItem() const
{
	return ItemAt(fItemCount - 1);
}

bool BList::HasItem(void* item) const
{
	return IndexOf(item) >= 0;
}

bool BList::HasItem(const void* item) const
{
	return IndexOf(item) >= 0;
}

int32 BList::IndexOf(void* item) const
{
	return IndexOf(static_cast<const void*>(item));
}

int32 BList::IndexOf(const void* item) const
{
	for (int32 i = 0; i < fItemCount; i++) {
		if (fObjectList[i] == item)
			return i;
	}
	return -1;
}

void BList::DoForEach(bool (*func)(void* item))
{
	if (func == NULL)
		return;
	for (int32 i = 0; i < fItemCount; i++) {
		if (func(fObjectList[i]))
			break;
	}
}

void BList::DoForEach(bool (*func)(void* item, void* arg), void* arg)
{
	if (func == NULL)
		return;
	for (int32 i = 0; i < fItemCount; i++) {
		if (func(fObjectList[i], arg))
			break;
	}
}

// Makes room for count items in whole blocks. Shrinks only when a whole
// block is unused, so that adding and removing around a block edge does not
// reallocate every time.
bool BList::_ResizeArray(int32 count)
{
	if (count == 0 && fObjectList == NULL)
		return true;
	int64 blocks = (int64(count) + fBlockSize - 1) / fBlockSize;
	int64 newSize = std::max<int64>(blocks, 1) * fBlockSize;
	if (newSize > INT32_MAX)
		return false;
	if (fObjectList == NULL || newSize != fPhysicalSize) {
		if (newSize < fPhysicalSize && count > fResizeThreshold && fObjectList != NULL)
			return true;
		void** list = static_cast<void**>(realloc(fObjectList, size_t(newSize) * sizeof(void*)));
		if (list == NULL)
			return newSize < fPhysicalSize;
		fObjectList = list;
		fPhysicalSize = int32(newSize);
		fResizeThreshold = std::max<int32>(fPhysicalSize - fBlockSize * 2, 0);
	}
	return true;
}
