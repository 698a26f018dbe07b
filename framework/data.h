// The universal value, the link record and the routines every element uses
// to build, fire, forward and read values.
#pragma once

#include <cstdint>
#include <string>

namespace hi {

struct TArrayInterface;

// Type codes 0..22; only a handful are produced, the rest convert like NULL.
enum TDataType : uint8_t {
  data_null = 0,
  data_int = 1,
  data_str = 2,
  data_data = 3,
  data_combo = 4,
  data_strlist = 5,
  data_icon = 6,
  data_real = 7,
  data_color = 8,
  data_script = 9,
  data_stream = 10,
  data_bitmap = 11,
  data_wave = 12,
  data_array = 13,
  data_comboex = 14,
  data_font = 15,
  data_matrix = 16,
  data_jpeg = 17,
  data_menu = 18,
  data_code = 19,
  data_object = 20,
  data_type = 21,
  data_break = 22,
};

constexpr uint8_t ForwardFlag = 128;
constexpr int TypeNameCount = 23;
extern const char* const TypeNames[TypeNameCount];

struct TData;

// Every work point and data point has this shape: (element, value, index).
using PointHandler = void (*)(void* target, TData& value, uint16_t index);

struct TEventLink {
  PointHandler Method = nullptr;
  void* Target = nullptr;
  uint16_t Index = 0;

  bool empty() const { return Method == nullptr; }
};

struct TData {
  uint8_t Kind = data_null;
  // One payload slot: the 32-bit integer of an Integer value, or the
  // pointer-sized object reference of a Bitmap or Array value.
  union {
    int32_t IntVal;
    void* ObjRef;
  };
  std::string StrVal;
  double RealVal = 0.0;
  const TEventLink* ForwardLink = nullptr;
  TData* NextValue = nullptr;

  TData() : ObjRef(nullptr) {}
  TData(const TData& o) = default;
  TData& operator=(const TData& o) = default;
};

// ---- construction ---------------------------------------------------------
void MakeNull(TData& v);
void MakeInteger(TData& v, int32_t i);
void MakeString(TData& v, const std::string& s);
void MakeReal(TData& v, double r);
// A value referring to an object of a room above the framework (a Bitmap):
// that room wraps these in routines typed by its object.
void MakeObjectRef(TData& v, TDataType kind, void* object);
void MakeArray(TData& v, TArrayInterface* array);
void CopyData(TData& dest, const TData& source);

// ---- queries and conversions ----------------------------------------------
inline uint8_t TypeOf(const TData& v) { return v.Kind & 127; }
inline bool IsInteger(const TData& v) { return TypeOf(v) == data_int; }
int32_t ToInteger(const TData& v);
std::string ToString(const TData& v);
double ToReal(const TData& v);
int32_t ToIndex(const TData& v);
bool ToBoolean(const TData& v);

// The text rules behind the conversions, usable on their own.
int32_t ParseInteger(const std::string& s);
double ParseReal(const std::string& s);
std::string FormatReal(double r);
std::string FormatInteger(int32_t i);
// Round to nearest, ties to even; 0 outside the 64-bit range or for NaN.
int64_t RoundHalfEven(double r);

// ---- links ----------------------------------------------------------------
TEventLink MakeLink(uint16_t index, PointHandler method, void* target);

namespace detail {
template <auto M>
struct PointOf;
template <class C, void (C::*M)(TData&, uint16_t)>
struct PointOf<M> {
  using Class = C;
  static void Call(void* target, TData& v, uint16_t index) { (static_cast<C*>(target)->*M)(v, index); }
};
}  // namespace detail

// The handler of a member point: Point<&THIHub::doEvent>().
template <auto M>
constexpr PointHandler Point() {
  return &detail::PointOf<M>::Call;
}

// A link to a member point of an element: LinkTo<&THIHub::doEvent>(hub) or
// with the point number as the second argument.
template <auto M, class T>
TEventLink LinkTo(T* target, uint16_t index = 0) {
  using C = typename detail::PointOf<M>::Class;
  return MakeLink(index, Point<M>(), static_cast<void*>(static_cast<C*>(target)));
}

// ---- firing ---------------------------------------------------------------
void FireEvent(const TEventLink& link, TData& v);
void FireCopy(const TEventLink& link, const TData& v);
void FireInteger(const TEventLink& link, int32_t i);
void FireString(const TEventLink& link, const std::string& s);
void FireReal(const TEventLink& link, double r);
void FireObjectRef(const TEventLink& link, TDataType kind, void* object);
void FireNull(const TEventLink& link);

// ---- forwarding (delivered by the dispatcher once the handler returns) ----
void ForwardValue(TData& v, const TEventLink& link);
void ForwardNull(TData& v, const TEventLink& link);
void ForwardCopy(TData& v, const TEventLink& link, const TData& source);
void ForwardInteger(TData& v, const TEventLink& link, int32_t i);
void ForwardString(TData& v, const TEventLink& link, const std::string& s);

// ---- reading data points ---------------------------------------------------
std::string ReadString(TData& v, const TEventLink& link, const std::string& def);
double ReadReal(TData& v, const TEventLink& link, double def);
void ReadData(TData& v, const TEventLink& link, const TData* def, TData& result);
// The object of a value of type kind: from the link's answer (null when it
// has another type), else def when given, else the event value, consumed.
void* ReadObjectRef(TData& v, const TEventLink& link, TDataType kind, void* def);
TArrayInterface* ReadArray(const TEventLink& link);
void PullData(TData& result, const TEventLink& link);

// ---- dispatch slots and start-up list -------------------------------------
using DispatchProc = void (*)(const TEventLink& link, TData& v);
extern DispatchProc EventDispatch;
extern DispatchProc DataDispatch;
void InstallDispatchers();
// Back to the do-nothing state of a freshly loaded library (tests use it).
void ResetDispatchers();

using StartupHandler = void (*)(void* owner);
extern bool StartupDone;
void AddStartupHandler(StartupHandler handler, void* owner);
void RunStartupHandlers();
size_t PendingStartupHandlers();

}  // namespace hi
