// Fitting the columns of a report-style list view to their texts.
//
// FitListViewColumns(ListView): every column is set to the width of the widest of its header
// caption and the texts that the rows show in it, plus a 28-pixel margin, measured in the font in
// which the list draws its rows. The width depends only on the texts, so a column narrows as
// well as widens and widths set by the user are overwritten. A list without columns is left as
// it is. Row i's text in column 0 is its caption, in column j + 1 its sub-item j.
#pragma once

#include <windows.h>

namespace Quorin {

// Margin added to every measured text width, in pixels.
constexpr int ListViewColumnMargin = 28;

void FitListViewColumns(HWND ListView);

}  // namespace Quorin
