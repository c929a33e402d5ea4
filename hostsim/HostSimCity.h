// The identifiers and names of the sample city that THost::BuildSampleCity makes.
//
// The city is a square grid of quarters (8 by 8 at scale 1, growing with the square root of
// the scale) separated by 20 m streets, in metres from the origin:
// - districts: blocks of 4 by 4 quarters, bounded by street centre lines (neighbours share
//   edges);
// - quarters: 200 m squares; about one in eight holds a park instead of buildings;
// - buildings: rectangles, some L-shaped, a few with a courtyard (a hole), strictly inside
//   their quarter except about one in a hundred that reaches into the street; residential
//   ones have residents, the others one to four tenant records;
// - schools and shops: points inside quarters; roads: lines along the street centre lines;
//   parks: polygons inside their quarter, some with a pond (a hole).
// Quarters and districts have an empty POPULATION field for a fill run to fill (the sum of
// the residents of the buildings inside). The same scale and seed give the same city.
#pragma once

namespace HostSim::City {

constexpr const wchar_t* MapId = L"city";
constexpr const wchar_t* MapName = L"Новоград";

// Layers, their tables (identifier and name) and fields.
constexpr const wchar_t* Districts = L"districts";           // "Районы", polygons
constexpr const wchar_t* DistrictsTable = L"districts_sem";  // "Районы"
constexpr const wchar_t* Quarters = L"quarters";             // "Кварталы", polygons
constexpr const wchar_t* QuartersTable = L"quarters_sem";    // "Кварталы"
constexpr const wchar_t* Buildings = L"buildings";           // "Здания", polygons
constexpr const wchar_t* BuildingsTable = L"buildings_sem";  // "Здания"
constexpr const wchar_t* TenantsTable = L"tenants";          // "Арендаторы", on buildings
constexpr const wchar_t* Schools = L"schools";               // "Школы", points
constexpr const wchar_t* SchoolsTable = L"schools_sem";      // "Школы"
constexpr const wchar_t* Shops = L"shops";                   // "Магазины", points
constexpr const wchar_t* ShopsTable = L"shops_sem";          // "Магазины"
constexpr const wchar_t* Roads = L"roads";                   // "Дороги", lines
constexpr const wchar_t* RoadsTable = L"roads_sem";          // "Дороги"
constexpr const wchar_t* Parks = L"parks";                   // "Парки", polygons
constexpr const wchar_t* ParksTable = L"parks_sem";          // "Парки"

// Fields (after ID and SIMID, which every table has).
constexpr const wchar_t* Name = L"NAME";              // "Название", text
constexpr const wchar_t* Population = L"POPULATION";  // "Население", empty: to be filled
constexpr const wchar_t* Number = L"NUMBER";          // "Номер" of a quarter, integer
constexpr const wchar_t* Floors = L"FLOORS";          // "Этажность", integer 1..16
constexpr const wchar_t* Residents = L"RESIDENTS";    // "Жители", integer (0: not residential)
constexpr const wchar_t* Purpose = L"PURPOSE";        // "Назначение": "Жилое" or "Нежилое"
constexpr const wchar_t* Address = L"ADDRESS";        // "Адрес", text
constexpr const wchar_t* Tenant = L"TENANT";          // "Организация", text (tenants table)
constexpr const wchar_t* RentedArea = L"AREA";        // "Площадь, м²", double (tenants table)
constexpr const wchar_t* Pupils = L"PUPILS";          // "Учеников", integer (schools)
constexpr const wchar_t* Kind = L"KIND";              // "Вид" (shops), "Тип" (roads), text
constexpr const wchar_t* SalesArea = L"SALES_AREA";   // "Торговая площадь", double (shops)
constexpr const wchar_t* Lanes = L"LANES";            // "Полос", integer (roads)

}  // namespace HostSim::City
