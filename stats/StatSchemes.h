// The fill scheme: which field of which layer is filled, with which statistic, from which
// sources. A source names a layer, a characteristic of its objects (a field of one of the
// layer's tables, or the area or perimeter) and the spatial relation to the target object.
#pragma once

#include <cstdint>
#include <string>

#include "host/Orvex.h"
#include "stats/RefObjects.h"

namespace Quorin {

enum TStatFunction : uint8_t { sfCount = 0, sfSum = 1, sfAverage = 2, sfMin = 3, sfMax = 4 };
constexpr int StatFunctionCount = sfMax + 1;

// Indexed by the function code.
extern const char* const StatFunctionIDs[StatFunctionCount];
extern const char* const StatFunctionNames[StatFunctionCount];

// Spatial relation of a source object to the target object; a source holds one of them, 0
// until one has been chosen. The code goes to the host's query unchanged.
enum TStatRelation : int32_t {
  srIntersects = 1,
  srInside = 2,
  srContains = 4,
  srTouches = 8,
};

// Geometric characteristics of a source without a table; compared byte for byte.
constexpr const char AreaCharacteristic[] = "1";
constexpr const char PerimeterCharacteristic[] = "2";

class TStatSchemeFillSource : public TRefObject {
public:
  std::string LayerID;         // the source layer
  std::string TableID;         // the table whose field is the characteristic; "" = geometric
  std::string Characteristic;  // field identifier, or "1" area / "2" perimeter without a table
  int32_t Relation = 0;        // a TStatRelation code; 0 = none chosen yet

  // Copies the four fields.
  void Assign(const TStatSchemeFillSource& Source);

protected:
  ~TStatSchemeFillSource() override = default;
};

class TStatSchemeFillSourceList : public TRefObjectList {
public:
  int Add(TStatSchemeFillSource* Item) { return TRefObjectList::Add(Item); }
  void Insert(int Index, TStatSchemeFillSource* Item) { TRefObjectList::Insert(Index, Item); }
  void Put(int Index, TStatSchemeFillSource* Item) { TRefObjectList::Put(Index, Item); }
  TStatSchemeFillSource* Extract(TStatSchemeFillSource* Item) {
    return static_cast<TStatSchemeFillSource*>(TRefObjectList::Extract(Item));
  }
  // EListError "List index out of bounds (%d)" outside 0..Count-1.
  TStatSchemeFillSource* Items(int Index) const {
    return static_cast<TStatSchemeFillSource*>(TRefObjectList::Items(Index));
  }
  // The first other source with the same layer and table (exactly) and characteristic
  // (ignoring case); the relation does not count. Null when there is none.
  TStatSchemeFillSource* FindDuplicate(const TStatSchemeFillSource* Source) const;
};

// The scheme. The wizard creates it and destroys it directly (Free); destroying it destroys
// Sources, which releases every source.
class TStatSchemeFieldFill : public TRefObject {
public:
  std::string LayerID;    // the target layer
  std::string TableID;    // the target layer's table that holds the target field
  std::string FieldName;  // the target field's identifier
  TStatFunction StatFunction = sfCount;
  TStatSchemeFillSourceList Sources;

protected:
  ~TStatSchemeFieldFill() override = default;
};

// The display text of a source's characteristic: "Площадь", "Периметр", "Ошибка: <code>" for a
// geometric source, "<table name>.<field name>" from the host for a field. Host failures raise.
std::string GetCharacteristicText(const TStatSchemeFillSource& Source, IOrvexApplication* App);

}  // namespace Quorin
