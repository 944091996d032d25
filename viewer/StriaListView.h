// StriaListView: the list of scanned codes on the left of the viewer
// window, newest first; the selected one is shown in the code view.
#ifndef STRIA_LIST_VIEW_H
#define STRIA_LIST_VIEW_H

#include <ListView.h>

class StriaCode;
class StriaCodeView;

class StriaListView : public BListView {
public:
	StriaListView(BRect frame, const char* name, StriaCodeView* codeView);
	~StriaListView() override;

	// Shows the selected code (or none) in the code view.
	void SelectionChanged() override;
	// The item at the first selected row, or NULL when nothing is selected.
	StriaCode* CurrentCode() const;

private:
	StriaCodeView* fCodeView;
};

#endif // STRIA_LIST_VIEW_H
