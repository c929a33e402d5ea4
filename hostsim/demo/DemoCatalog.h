// What the host's catalogue holds, by name: maps, their layers, the layers' semantic tables and
// the tables' fields, read once through the host's own automation interfaces (the same calls
// the module makes), so that the demo sees the names exactly as the wizard's trees show them.
#pragma once

#include <string>
#include <vector>

#include "host/Orvex.h"

namespace OrvexSim {

struct TFieldInfo {
  std::wstring Id, Name;
};

struct TTableInfo {
  std::wstring Id, Name;
  std::vector<TFieldInfo> Fields;  // "ID" and "SIMID" included
  const TFieldInfo* FindField(const std::wstring& Name) const;
};

struct TLayerInfo {
  std::wstring Id, Name;
  std::vector<TTableInfo> Tables;
  const TTableInfo* FindTable(const std::wstring& Name) const;
  const TTableInfo* TableById(const std::wstring& Id) const;
};

struct TMapInfo {
  std::wstring Id, Name;
  std::vector<TLayerInfo> Layers;
};

struct TCatalog {
  std::vector<TMapInfo> Maps;
  // The first layer of that name over all maps, with its map; null when there is none.
  const TLayerInfo* FindLayer(const std::wstring& Name, const TMapInfo** Map = nullptr) const;
  const TLayerInfo* LayerById(const std::wstring& Id) const;
};

// Reads the catalogue; raises Quorin::Exception when a host call fails.
TCatalog ReadCatalog(IOrvexApplication* Application);

// True for the two fields that the wizard never offers.
bool IsIdField(const std::wstring& FieldId);

}  // namespace OrvexSim
