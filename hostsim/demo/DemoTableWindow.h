// The attribute table of one semantic table of a layer: a report list with a row per record
// (several rows for an object with several records), "Объект" and "Запись" first, then the
// table's fields; a click on a column header sorts by it (again: the other way).
#pragma once

#include <windows.h>

#include "hostsim/HostSim.h"
#include "hostsim/demo/DemoCatalog.h"

namespace OrvexSim {

// Opens the window (a top-level window owned by Owner); the values are read at once.
HWND OpenTableWindow(HWND Owner, const HostSim::THost& Host, const TLayerInfo& Layer,
                     const TTableInfo& Table);
// Sorts the rows by a column (0 object, 1 record, 2... the fields), as a header click does.
void SortTableWindow(HWND Window, int Column, bool Descending);
// Closes every table window (before the host that filled them goes away).
void CloseTableWindows();

}  // namespace OrvexSim
