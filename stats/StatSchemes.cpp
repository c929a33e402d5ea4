#include "stats/StatSchemes.h"

#include "support/ComPtr.h"
#include "support/Errors.h"
#include "support/Strings.h"
#include "support/Variants.h"

namespace Quorin {

const char* const StatFunctionIDs[StatFunctionCount] = {"Count", "Sum", "Average", "Min", "Max"};

const char* const StatFunctionNames[StatFunctionCount] = {
    "Количество", "Сумма", "Среднее арифметическое", "Минимальное", "Максимальное"};

void TStatSchemeFillSource::Assign(const TStatSchemeFillSource& Source) {
  LayerID = Source.LayerID;
  TableID = Source.TableID;
  Characteristic = Source.Characteristic;
  Relation = Source.Relation;
}

TStatSchemeFillSource* TStatSchemeFillSourceList::FindDuplicate(
    const TStatSchemeFillSource* Source) const {
  const int N = Count();
  for (int I = 0; I < N; ++I) {
    TStatSchemeFillSource* Item = Items(I);
    if (Item == Source) continue;
    if (Item->LayerID == Source->LayerID && Item->TableID == Source->TableID &&
        SameText(Item->Characteristic, Source->Characteristic))
      return Item;
  }
  return nullptr;
}

std::string GetCharacteristicText(const TStatSchemeFillSource& Source, IOrvexApplication* App) {
  if (Source.TableID.empty()) {
    if (Source.Characteristic == AreaCharacteristic) return "Площадь";
    if (Source.Characteristic == PerimeterCharacteristic) return "Периметр";
    return "Ошибка: " + Source.Characteristic;
  }
  TComPtr<IOrvexDatabase> Database = OX_INTF(IOrvexDatabase, App, GetDatabase);
  TBStr TableId(Source.TableID);
  TComPtr<IOrvexTable> Table = OX_INTF(IOrvexTable, Database, GetTable, TableId.Get());
  std::string TableName = OX_STR(Table, GetName);
  TComPtr<IOrvexFields> Fields = OX_INTF(IOrvexFields, Table, GetFields);
  TVariant Key = TVariant::Text(Source.Characteristic);
  TComPtr<IOrvexField> Field = OX_INTF(IOrvexField, Fields, GetItem, Key.Ref());
  std::string FieldName = OX_STR(Field, GetName);
  return TableName + "." + FieldName;
}

}  // namespace Quorin
