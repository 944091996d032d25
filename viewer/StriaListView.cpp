#include "StriaListView.h"

#include "StriaCode.h"
#include "StriaCodeView.h"

StriaListView::StriaListView(BRect frame, const char* name, StriaCodeView* codeView)
    : BListView(frame, name, B_SINGLE_SELECTION_LIST, B_FOLLOW_ALL_SIDES,
                B_WILL_DRAW | B_FRAME_EVENTS | B_NAVIGABLE),
      fCodeView(codeView)
{
}

StriaListView::~StriaListView() {}

void StriaListView::SelectionChanged()
{
	fCodeView->Show(CurrentCode());
}

StriaCode* StriaListView::CurrentCode() const
{
	return dynamic_cast<StriaCode*>(ItemAt(CurrentSelection(0)));
}
