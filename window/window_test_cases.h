#pragma once

// What every window must do with typed amounts: the Qt and the Win32 window tests share these rows.
namespace window::cases {

// A net amount typed into Text1, then Enter.
struct NetRow {
  const char* name;
  const char16_t* net;
  const char16_t* gross;
  const char16_t* net_after;
};
inline constexpr NetRow kNetRows[] = {
    {"zero", u"0", u"0", u"0"},
    {"hundred", u"100", u"105", u"100"},
    {"nineteen", u"19", u"19", u"19"},
    {"twenty", u"20", u"21", u"20"},
    {"hundred and one", u"101", u"106", u"101"},
    {"minus one", u"-1", u"-2", u"-1"},
    {"1234", u"1234", u"1295", u"1234"},
    {"fraction", u"20.7", u"21", u"20"},
    {"thousand", u"1000", u"1050", u"1000"},
    {"thousand and a bit", u"1000.4", u"1050", u"1000"},
    {"full-width grouped", u"１，０００", u"1050", u"1000"},
    {"yen", u"¥1,000円", u"1050", u"1000"},
};

// A gross amount typed into Text2, then Tab.
struct GrossRow {
  const char* name;
  const char16_t* gross;
  const char16_t* net;
  bool no_match;
  const char16_t* gross_after;
};
inline constexpr GrossRow kGrossRows[] = {
    {"zero", u"0", u"0", false, u"0"},
    {"21", u"21", u"20", false, u"21"},
    {"22", u"22", u"21", false, u"22"},
    {"105", u"105", u"100", false, u"105"},
    {"1050", u"1050", u"1000", false, u"1050"},
    {"1051", u"1051", u"1001", false, u"1051"},
    {"a million", u"1000000", u"952381", false, u"1000000"},
    {"20", u"20", u"20", true, u"21"},
    {"41", u"41", u"40", true, u"42"},
    {"104", u"104", u"100", true, u"105"},
    {"105.5", u"105.5", u"101", true, u"106"},
    {"half", u"0.5", u"1", true, u"1"},
    {"minus one", u"-1", u"0", true, u"0"},
    {"minus twenty", u"-20", u"-19", false, u"-20"},
    {"kept as typed", u"105.0", u"100", false, u"105.0"},
};

}  // namespace window::cases
