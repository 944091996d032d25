// Support kit: BList, an ordered list of untyped pointers that grows and
// shrinks in blocks.
#ifndef _BE_LIST_H
#define _BE_LIST_H

#include <SupportDefs.h>

class BList {
public:
	// blockSize: how many slots the list grows or shrinks by at a time.
	BList(int32 blockSize = 20);
	BList(const BList& other);
	virtual ~BList();

	BList& operator=(const BList& other);
	bool operator==(const BList& other) const;
	bool operator!=(const BList& other) const;

	// Adding and removing; indexes out of range fail and change nothing.
	bool AddItem(void* item, int32 index);
	bool AddItem(void* item);
	bool AddList(const BList* list, int32 index);
	bool AddList(const BList* list);
	bool RemoveItem(void* item);
	void* RemoveItem(int32 index);
	bool RemoveItems(int32 index, int32 count);
	bool ReplaceItem(int32 index, void* item);
	void MakeEmpty();

	// Reordering.
	void SortItems(int (*compareFunc)(const void*, const void*));
	bool SwapItems(int32 indexA, int32 indexB);
	bool MoveItem(int32 fromIndex, int32 toIndex);

	// Retrieving: NULL when out of range.
	void* ItemAt(int32 index) const;
	void* FirstItem() const;
	void* ItemAtFast(int32 index) const { return fObjectList[index]; }
	void* LastItem() const;
	void* Items() const { return fObjectList; }

	// Querying.
	bool HasItem(void* item) const;
	bool HasItem(const void* item) const;
	int32 IndexOf(void* item) const;
	int32 IndexOf(const void* item) const;
	int32 CountItems() const { return fItemCount; }
	bool IsEmpty() const { return fItemCount == 0; }

	// Calls func on every item until it returns true.
	void DoForEach(bool (*func)(void* item));
	void DoForEach(bool (*func)(void* item, void* arg), void* arg);

private:
	bool _ResizeArray(int32 count);

	void** fObjectList;
	int32 fPhysicalSize;
	int32 fItemCount;
	int32 fBlockSize;
	int32 fResizeThreshold;
};

#endif // _BE_LIST_H
