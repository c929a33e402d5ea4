// The deterministic sample city (see HostSimCity.h).
#include "hostsim/HostSimCity.h"

#include <cmath>
#include <iterator>
#include <stdexcept>

#include "hostsim/HostSim.h"
#include "hostsim/HostSimModel.h"

namespace HostSim {

namespace {

// splitmix64: the same sequence on every platform and library.
class TRandom {
public:
  explicit TRandom(uint64_t Seed) : FState(Seed) {}
  uint64_t Next() {
    uint64_t Z = (FState += 0x9E3779B97F4A7C15ull);
    Z = (Z ^ (Z >> 30)) * 0xBF58476D1CE4E5B9ull;
    Z = (Z ^ (Z >> 27)) * 0x94D049BB133111EBull;
    return Z ^ (Z >> 31);
  }
  // Uniform in [0, 1).
  double Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
  double Between(double Low, double High) { return Low + (High - Low) * Unit(); }
  int Below(int N) { return static_cast<int>(Next() % static_cast<uint64_t>(N)); }
  bool Chance(double P) { return Unit() < P; }

private:
  uint64_t FState;
};

const wchar_t* const DistrictNames[] = {
    L"Центральный", L"Северный", L"Заречный", L"Октябрьский", L"Ленинский", L"Кировский",
    L"Советский", L"Приморский", L"Лесной", L"Садовый", L"Заводской", L"Речной",
    L"Железнодорожный", L"Восточный", L"Западный", L"Южный"};
const wchar_t* const StreetNames[] = {
    L"Ленина", L"Гагарина", L"Пушкина", L"Садовая", L"Лесная", L"Школьная", L"Советская",
    L"Молодёжная", L"Центральная", L"Набережная", L"Заводская", L"Полевая", L"Первомайская",
    L"Строителей", L"Чехова", L"Толстого", L"Лермонтова", L"Горького", L"Комсомольская",
    L"Пионерская"};
const wchar_t* const AvenueNames[] = {
    L"Мира", L"Победы", L"Космонавтов", L"Октября", L"Энтузиастов", L"Металлургов",
    L"Дружбы", L"Ленинградский", L"Московский", L"Химиков", L"Юности", L"Славы"};
const wchar_t* const ShopKinds[] = {
    L"Продукты", L"Хлеб", L"Аптека", L"Книги", L"Цветы", L"Хозтовары", L"Одежда", L"Обувь",
    L"Электроника", L"Молоко", L"Овощи", L"Канцтовары"};
const wchar_t* const ParkNames[] = {
    L"Парк Победы", L"Парк культуры и отдыха", L"Сквер Пушкина", L"Городской сад",
    L"Парк Дружбы", L"Сквер Ветеранов", L"Парк Юбилейный", L"Сквер Строителей",
    L"Парк Горького", L"Сквер Молодёжный"};
const wchar_t* const TenantNames[] = {
    L"ООО «Ромашка»", L"ИП Иванов", L"АО «Весна»", L"ООО «Север»", L"Нотариус Петрова",
    L"Стоматология «Улыбка»", L"Кафе «Встреча»", L"Почта России", L"Сбербанк",
    L"Парикмахерская «Локон»", L"ООО «Техсервис»", L"Библиотека № 3"};

template <size_t N>
std::wstring Pick(const wchar_t* const (&Names)[N], size_t Index) {
  std::wstring Name = Names[Index % N];
  if (Index >= N) Name += L" " + std::to_wstring(Index / N + 1);
  return Name;
}

TRing Rectangle(double X0, double Y0, double X1, double Y1) {
  return {{X0, Y0}, {X1, Y0}, {X1, Y1}, {X0, Y1}, {X0, Y0}};
}

// Builds the city straight into the model (the builder's checks, without WKT).
class TCityBuilder {
public:
  TCityBuilder(THost& Host, TModel& Model, double Scale, uint32_t Seed)
      : FHost(Host), FModel(Model), FRandom(0x5EED0000ull ^ Seed) {
    FGrid = std::max(2, static_cast<int>(std::lround(8.0 * std::sqrt(Scale))));
  }

  void Build() {
    using namespace City;
    FHost.AddMap(MapId, MapName);
    Layer(Districts, L"Районы", DistrictsTable, L"Районы",
          {{Name, L"Название"}, {Population, L"Население"}});
    Layer(Quarters, L"Кварталы", QuartersTable, L"Кварталы",
          {{Number, L"Номер"}, {Name, L"Название"}, {Population, L"Население"}});
    Layer(Buildings, L"Здания", BuildingsTable, L"Здания",
          {{Floors, L"Этажность"}, {Residents, L"Жители"}, {Purpose, L"Назначение"},
           {Address, L"Адрес"}});
    FHost.AddTable(Buildings, TenantsTable, L"Арендаторы");
    FHost.AddField(TenantsTable, Tenant, L"Организация");
    FHost.AddField(TenantsTable, RentedArea, L"Площадь, м²");
    Layer(Schools, L"Школы", SchoolsTable, L"Школы", {{Name, L"Название"}, {Pupils, L"Учеников"}});
    Layer(Shops, L"Магазины", ShopsTable, L"Магазины",
          {{Name, L"Название"}, {Kind, L"Вид"}, {SalesArea, L"Торговая площадь"}});
    Layer(Roads, L"Дороги", RoadsTable, L"Дороги",
          {{Name, L"Название"}, {Kind, L"Тип"}, {Lanes, L"Полос"}});
    Layer(Parks, L"Парки", ParksTable, L"Парки", {{Name, L"Название"}});

    BuildDistricts();
    BuildRoads();
    for (int J = 0; J < FGrid; ++J)
      for (int I = 0; I < FGrid; ++I) BuildQuarter(I, J);
  }

private:
  static constexpr double Block = 200;   // a quarter's side
  static constexpr double Street = 20;   // a street's width
  static constexpr double Pitch = Block + Street;
  static constexpr int DistrictSide = 4;  // quarters per district side

  double Extent() const { return FGrid * Pitch + Street; }
  // The street centre line before quarter column (or row) K; 0 and Extent() at the rim.
  double Line(int K) const {
    if (K <= 0) return 0;
    if (K >= FGrid) return Extent();
    return K * Pitch + Street / 2;
  }

  void Layer(const wchar_t* Id, const wchar_t* Name, const wchar_t* TableId,
             const wchar_t* TableName,
             std::initializer_list<std::pair<const wchar_t*, const wchar_t*>> Fields) {
    FHost.AddLayer(City::MapId, Id, Name);
    FHost.AddTable(Id, TableId, TableName);
    for (const auto& Field : Fields) FHost.AddField(TableId, Field.first, Field.second);
  }

  TObjectData& Object(const wchar_t* LayerId, const wchar_t* Prefix, long& Counter,
                      TGeometryPtr Shape) {
    TObjectData& Data = FModel.NewObject(*FModel.LayerById.at(LayerId),
                                         Prefix + std::to_wstring(++Counter));
    std::vector<TGeometryPtr> Shapes;
    Shapes.push_back(std::move(Shape));
    FModel.AddShapes(Data, std::move(Shapes), 1);
    return Data;
  }

  // A record of the object: ID and SIMID first, then the values in field order.
  void Record(TObjectData& Data, const wchar_t* TableId, long Id, std::vector<TValue> Values) {
    TTableData* Table = FModel.TableById.at(TableId);
    TRow Row(Table->Fields.size());
    Row[0] = TValue(static_cast<int>(Id));
    Row[1] = TValue(static_cast<int>(++FSimId));
    for (size_t K = 0; K < Values.size() && K + 2 < Row.size(); ++K) Row[K + 2] = Values[K];
    Data.Records.Append(Table, Row);
  }

  void BuildDistricts() {
    int Side = (FGrid + DistrictSide - 1) / DistrictSide;
    for (int J = 0; J < Side; ++J)
      for (int I = 0; I < Side; ++I) {
        int I1 = std::min(FGrid, (I + 1) * DistrictSide), J1 = std::min(FGrid, (J + 1) * DistrictSide);
        TObjectData& D = Object(City::Districts, L"D", FDistricts,
                                MakePolygon({Rectangle(Line(I * DistrictSide), Line(J * DistrictSide),
                                                       Line(I1), Line(J1))}));
        Record(D, City::DistrictsTable, FDistricts,
               {TValue(Pick(DistrictNames, static_cast<size_t>(FDistricts - 1))), TValue()});
      }
  }

  void BuildRoads() {
    // Along every street centre line: streets run east-west, avenues north-south.
    for (int Dir = 0; Dir < 2; ++Dir)
      for (int K = 0; K <= FGrid; ++K) {
        double C = K * Pitch + Street / 2;
        TRing Points = Dir == 0 ? TRing{{0, C}, {Extent(), C}} : TRing{{C, 0}, {C, Extent()}};
        TObjectData& R = Object(City::Roads, L"R", FRoads, MakeLine(Points));
        bool Main = K % DistrictSide == 0;
        std::wstring Name = Dir == 0 ? L"улица " + Pick(StreetNames, static_cast<size_t>(K))
                                     : L"проспект " + Pick(AvenueNames, static_cast<size_t>(K));
        Record(R, City::RoadsTable, FRoads,
               {TValue(Name), TValue(Main ? L"магистраль" : L"улица"), TValue(Main ? 6 : 2 + 2 * FRandom.Below(2))});
      }
  }

  void BuildQuarter(int I, int J) {
    double X0 = Street + I * Pitch, Y0 = Street + J * Pitch, X1 = X0 + Block, Y1 = Y0 + Block;
    long Number = J * FGrid + I + 1;
    TObjectData& Q = Object(City::Quarters, L"Q", FQuarters, MakePolygon({Rectangle(X0, Y0, X1, Y1)}));
    Record(Q, City::QuartersTable, Number,
           {TValue(static_cast<int>(Number)), TValue(L"Квартал " + std::to_wstring(Number)), TValue()});
    std::wstring StreetName = L"улица " + Pick(StreetNames, static_cast<size_t>(J));

    if (FRandom.Chance(0.12)) {
      // A park, sometimes with a pond.
      std::vector<TRing> Rings{Rectangle(X0 + 5, Y0 + 5, X1 - 5, Y1 - 5)};
      if (FRandom.Chance(0.5)) {
        double Cx = FRandom.Between(X0 + 60, X1 - 60);
        double Cy = FRandom.Between(Y0 + 60, Y1 - 60);
        double R = FRandom.Between(15, 35);
        TRing Pond;
        for (int K = 0; K < 12; ++K) {
          double A = K * 3.14159265358979323846 / 6;
          Pond.emplace_back(Cx + R * std::cos(A), Cy + R * std::sin(A));
        }
        Pond.push_back(Pond.front());
        Rings.push_back(Pond);
      }
      TObjectData& P = Object(City::Parks, L"P", FParks, MakePolygon(Rings));
      Record(P, City::ParksTable, FParks, {TValue(Pick(ParkNames, static_cast<size_t>(FParks - 1)))});
      return;
    }

    // Buildings on a 6 by 6 grid of plots.
    const int Plots = 6;
    double Plot = (Block - 10) / Plots;
    int House = 0;
    for (int V = 0; V < Plots; ++V)
      for (int U = 0; U < Plots; ++U) {
        if (!FRandom.Chance(0.85)) continue;
        double Px = X0 + 5 + U * Plot, Py = Y0 + 5 + V * Plot;
        double W = FRandom.Between(12, Plot - 4);
        double H = FRandom.Between(10, Plot - 4);
        double Bx = Px + FRandom.Between(2, Plot - 2 - W);
        double By = Py + FRandom.Between(2, Plot - 2 - H);
        // About one building in a hundred on the rim reaches into the street.
        bool Rim = U == 0 || V == 0 || U == Plots - 1 || V == Plots - 1;
        if (Rim && FRandom.Chance(0.02)) {
          if (U == 0) Bx = X0 - 4;
          else if (U == Plots - 1) Bx = X1 + 4 - W;
          else if (V == 0) By = Y0 - 4;
          else By = Y1 + 4 - H;
        }
        std::vector<TRing> Rings;
        double Shape = FRandom.Unit();
        if (Shape < 0.03 && W > 20 && H > 18) {
          Rings = {Rectangle(Bx, By, Bx + W, By + H),
                   Rectangle(Bx + 6, By + 6, Bx + W - 6, By + H - 6)};  // a courtyard
        } else if (Shape < 0.2) {
          double Cw = W * 0.5, Ch = H * 0.5;  // L-shaped: the north-east corner cut away
          Rings = {{{Bx, By}, {Bx + W, By}, {Bx + W, By + Ch}, {Bx + Cw, By + Ch},
                    {Bx + Cw, By + H}, {Bx, By + H}, {Bx, By}}};
        } else {
          Rings = {Rectangle(Bx, By, Bx + W, By + H)};
        }
        TObjectData& B = Object(City::Buildings, L"B", FBuildings, MakePolygon(Rings));
        int Floors = FRandom.Chance(0.3) ? 1 + FRandom.Below(3)
                     : FRandom.Chance(0.7) ? 4 + FRandom.Below(6) : 9 + FRandom.Below(8);
        bool Living = FRandom.Chance(0.8);
        int Residents = Living ? static_cast<int>(B.Area * Floors / FRandom.Between(25, 45)) : 0;
        Record(B, City::BuildingsTable, FBuildings,
               {TValue(Floors), TValue(Residents), TValue(Living ? L"Жилое" : L"Нежилое"),
                TValue(StreetName + L", " + std::to_wstring(++House))});
        if (!Living)
          for (int T = 1 + FRandom.Below(4); T > 0; --T)
            Record(B, City::TenantsTable, FBuildings,
                   {TValue(Pick(TenantNames, static_cast<size_t>(FRandom.Below(36)))),
                    TValue(std::round(FRandom.Between(20, 400)))});
      }

    // Shops and, in about a third of the quarters, a school: points inside the quarter.
    // (Each draw in a statement of its own: the order of function arguments is unspecified.)
    auto Spot = [&] {
      double X = FRandom.Between(X0 + 1, X1 - 1);
      double Y = FRandom.Between(Y0 + 1, Y1 - 1);
      return MakePoint(X, Y);
    };
    for (int K = 4 + FRandom.Below(3); K > 0; --K) {
      TObjectData& S = Object(City::Shops, L"M", FShops, Spot());
      std::wstring Kind = ShopKinds[FRandom.Below(static_cast<int>(std::size(ShopKinds)))];
      Record(S, City::ShopsTable, FShops,
             {TValue(L"Магазин «" + Kind + L"»"), TValue(Kind), TValue(std::round(FRandom.Between(30, 900)))});
    }
    if (FRandom.Chance(0.33)) {
      TObjectData& S = Object(City::Schools, L"S", FSchools, Spot());
      Record(S, City::SchoolsTable, FSchools,
             {TValue(L"Школа № " + std::to_wstring(FSchools)), TValue(300 + FRandom.Below(1200))});
    }
  }

  THost& FHost;
  TModel& FModel;
  TRandom FRandom;
  int FGrid;
  long FDistricts = 0, FQuarters = 0, FBuildings = 0, FShops = 0, FSchools = 0, FRoads = 0,
       FParks = 0, FSimId = 0;
};

}  // namespace

void THost::BuildSampleCity(double Scale, uint32_t Seed) {
  if (!(Scale > 0)) throw std::invalid_argument("the city's scale must be positive");
  TCityBuilder(*this, *FImpl->Model, Scale, Seed).Build();
}

}  // namespace HostSim
