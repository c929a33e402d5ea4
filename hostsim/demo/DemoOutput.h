// The filled layer written out: the attribute records of one table as CSV (UTF-8), one row per
// record, "object" and "record" first, then the table's fields by identifier.
#pragma once

#include <string>

#include "hostsim/HostSim.h"
#include "hostsim/demo/DemoCatalog.h"

namespace OrvexSim {

// The value as a CSV cell: numbers with a full stop, texts quoted when they need it, empty and
// null as an empty cell.
std::wstring CsvCell(const HostSim::TValue& Value);
// The value as the attribute table shows it.
std::wstring DisplayText(const HostSim::TValue& Value);

bool WriteTableCsv(const HostSim::THost& Host, const TLayerInfo& Layer, const TTableInfo& Table,
                   const std::wstring& Path);

}  // namespace OrvexSim
