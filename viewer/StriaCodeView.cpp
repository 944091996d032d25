#include "StriaCodeView.h"

#include "StriaCode.h"

#include <StringView.h>

StriaCodeView::StriaCodeView(BRect frame, const char* name)
    : BTabView(frame, name, B_WIDTH_AS_USUAL, B_FOLLOW_ALL_SIDES,
               B_FULL_UPDATE_ON_RESIZE | B_WILL_DRAW | B_NAVIGABLE_JUMP | B_FRAME_EVENTS |
                       B_NAVIGABLE),
      fShownCode(NULL)
{
}

StriaCodeView::~StriaCodeView() {}

void StriaCodeView::Show(StriaCode* code)
{
	fShownCode = code;
	// Never more than the one tab: the old one goes, with its string view.
	if (TabAt(0) != NULL)
		delete RemoveTab(0);
	// An empty selection shows no tab, and nothing is read from the item
	// that is not there.
	if (code == NULL)
		return;

	BRect frame = Bounds();
	frame.InsetBy(5, 5);
	frame.bottom -= TabHeight();
	BTab* tab = new BTab();
	BStringView* text =
	        new BStringView(frame, "crap", code->Text(), B_FOLLOW_LEFT | B_FOLLOW_TOP, B_WILL_DRAW);
	AddTab(text, tab);
	tab->SetLabel("CRAP!");
	Select(0);
}
