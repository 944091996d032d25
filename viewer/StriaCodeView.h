// StriaCodeView: the tab view on the right of the viewer window. Its one
// tab, "CRAP!", shows the text of the selected code.
#ifndef STRIA_CODE_VIEW_H
#define STRIA_CODE_VIEW_H

#include <TabView.h>

class StriaCode;

class StriaCodeView : public BTabView {
public:
	StriaCodeView(BRect frame, const char* name);
	~StriaCodeView() override;

	// Replaces the tab by one showing code's text; with no code there is no
	// tab at all.
	void Show(StriaCode* code);
	// The item the tab shows, or NULL.
	StriaCode* ShownCode() const { return fShownCode; }

private:
	StriaCode* fShownCode;
};

#endif // STRIA_CODE_VIEW_H
