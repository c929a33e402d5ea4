// The fill run: for every object of the target layer, the characteristic values of the objects
// of each source layer that stand in the source's relation to it are reduced to one statistic
// (TStatAccumulator) and written into the target field. Everything is read and written through
// the host's interfaces; the run keeps nothing after it ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/Orvex.h"
#include "stats/StatSchemes.h"
#include "support/ComPtr.h"
#include "support/Progresses.h"
#include "support/Strings.h"
#include "support/Variants.h"

namespace Quorin {

// Reduces the values gathered for one target object: Reset, any number of Add, Finish, then
// read Value.
class TStatAccumulator {
public:
  explicit TStatAccumulator(TStatFunction Function) noexcept : StatFunction(Function) {}

  TVariant Value;          // the running sum or extreme; the result after Finish
  int32_t ValueCount = 0;  // the values counted
  TStatFunction StatFunction;

  void Reset();
  // Offers one value (without by-reference indirection). Nulls are ignored. Under sfMin and
  // sfMax a value that cannot be compared with the current extreme raises
  // EVariantTypeCastError.
  void Add(const VARIANT& V);
  void Finish();
};

// Appends the identifiers that Query delivers, asking GetEof before every read.
void CollectObjectIds(IOrvexObjectQuery* Query, std::vector<std::string>& List);

// One run over a scheme. The constructor takes the host's database and map objects; Run does
// the rest. The scheme's target and sources are read when the run is created.
class TFillRun {
public:
  TFillRun(IOrvexApplication* App, const TStatSchemeFieldFill& Scheme, TProgress& FillProgress,
           TProgress& SourceProgress);
  TFillRun(const TFillRun&) = delete;
  TFillRun& operator=(const TFillRun&) = delete;

  // Collects every target identifier, fills each target object, then applies the changes once.
  void Run();
  // Computes and writes the statistic of one target object.
  void FillObject(const std::string& TargetId);

private:
  enum TGather { gaTable, gaArea, gaPerimeter, gaNone };
  struct TSource {
    TBStr TableId;
    TBStr Characteristic;
    TVariant Layers;  // the layer identifier as text, for the object query
    LONG Relation;
    TGather Gather;
  };

  void GatherTable(IOrvexMapObject* Object, IOrvexTable* Table, const TSource& Source,
                   TStatAccumulator& Accumulator);
  void GatherPerimeter(IOrvexMapObject* Object, TStatAccumulator& Accumulator);

  TComPtr<IOrvexApplication> FApp;
  TComPtr<IOrvexMapObjects> FMapObjects;
  TProgress& FFillProgress;
  TProgress& FSourceProgress;
  TStatFunction FStatFunction;
  TVariant FTargetLayers;
  TBStr FTargetTableId;
  TBStr FTargetField;
  std::vector<TSource> FSources;
  std::vector<std::string> FSourceIds;
};

// The whole run; raises the first failure (nothing is applied then).
void RunFill(IOrvexApplication* App, const TStatSchemeFieldFill& Scheme, TProgress& FillProgress,
             TProgress& SourceProgress);

}  // namespace Quorin
