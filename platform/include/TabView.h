// Interface kit: BTabView, a row of tabs above a container that shows the
// selected tab's view, and BTab, one of those tabs.
#ifndef _TAB_VIEW_H
#define _TAB_VIEW_H

#include <View.h>

#include <vector>

enum button_width { B_WIDTH_AS_USUAL, B_WIDTH_FROM_WIDEST, B_WIDTH_FROM_LABEL };

enum tab_position { B_TAB_FIRST = 999, B_TAB_FRONT, B_TAB_ANY };

class BTabView;

class BTab {
public:
	// The tab owns its view and deletes it with itself.
	explicit BTab(BView* contents = NULL);
	virtual ~BTab();
	BTab(const BTab&) = delete;
	BTab& operator=(const BTab&) = delete;

	const char* Label() const;
	virtual void SetLabel(const char* label);
	bool IsSelected() const { return fSelected; }
	virtual void Select(BView* owner);
	virtual void Deselect();
	void SetEnabled(bool enabled) { fEnabled = enabled; }
	bool IsEnabled() const { return fEnabled; }
	// Replaces the tab's view; deletes the old one.
	virtual void SetView(BView* contents);
	BView* View() const { return fView; }

	virtual void DrawLabel(BView* owner, BRect frame);
	virtual void DrawTab(BView* owner, BRect frame, tab_position position, bool full = true);

private:
	friend class BTabView;

	BTabView* fTabView;
	char* fLabel;
	BView* fView;
	bool fSelected;
	bool fEnabled;
};

class BTabView : public BView {
public:
	BTabView(BRect frame, const char* name, button_width width = B_WIDTH_AS_USUAL,
	         uint32 resizingMode = B_FOLLOW_ALL,
	         uint32 flags = B_FULL_UPDATE_ON_RESIZE | B_WILL_DRAW | B_NAVIGABLE_JUMP |
	                        B_FRAME_EVENTS | B_NAVIGABLE);
	// Deletes its tabs and their views.
	~BTabView() override;

	// Appends a tab whose content is target; makes a BTab when tab is NULL.
	// The first tab added becomes the selected one.
	virtual void AddTab(BView* target, BTab* tab = NULL);
	// Takes the tab out and hands it to the caller, who deletes it.
	virtual BTab* RemoveTab(int32 index);
	BTab* TabAt(int32 index) const;
	int32 CountTabs() const;
	int32 IndexOf(BTab* tab) const;
	virtual void Select(int32 index);
	int32 Selection() const { return fSelection; }
	BView* ViewForTab(int32 index) const;

	void SetTabWidth(button_width width);
	button_width TabWidth() const { return fTabWidth; }
	void SetTabHeight(float height);
	float TabHeight() const { return fTabHeight; }
	// The rectangle of a tab in the row, in the tab view's coordinates.
	virtual BRect TabFrame(int32 index) const;
	// The view below the tab row that holds the selected tab's view.
	BView* ContainerView() const { return fContainer; }

	void Draw(BRect updateRect) override;
	void MouseDown(BPoint where) override;
	void KeyDown(const char* bytes, int32 numBytes) override;

private:
	friend class BTab;

	std::vector<BTab*> fTabs;
	BView* fContainer;
	button_width fTabWidth;
	float fTabHeight;
	int32 fSelection;
};

#endif // _TAB_VIEW_H
