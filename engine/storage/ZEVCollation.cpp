#include "engine/storage/ZEVCollation.h"

#include <unicode/ucol.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>

#include "engine/storage/ZEVCodePage.h"

namespace zev {
namespace {

std::mutex gLocaleMutex;
std::string gLocale;
bool gLocaleSet = false;
unsigned gLocaleGeneration = 0;

std::string LocaleFromEnvironment() {
  for (const char* name : {"LC_ALL", "LC_COLLATE", "LANG"}) {
    const char* v = std::getenv(name);
    if (!v || !*v) continue;
    std::string s = v;
    s = s.substr(0, s.find_first_of(".@"));
    if (s == "C" || s == "POSIX") return std::string();
    return s;
  }
  return std::string();
}

struct CollatorCloser {
  void operator()(UCollator* c) const { ucol_close(c); }
};
using CollatorPtr = std::unique_ptr<UCollator, CollatorCloser>;

// The thread's collator for the current locale and the asked case rule.
UCollator* Collator(bool ignoreCase) {
  thread_local unsigned generation = ~0u;
  thread_local CollatorPtr collators[2];
  unsigned current;
  std::string locale;
  {
    std::lock_guard<std::mutex> lock(gLocaleMutex);
    if (!gLocaleSet) {
      gLocale = LocaleFromEnvironment();
      gLocaleSet = true;
    }
    current = gLocaleGeneration;
    locale = gLocale;
  }
  if (generation != current) {
    collators[0].reset();
    collators[1].reset();
    generation = current;
  }
  CollatorPtr& slot = collators[ignoreCase ? 1 : 0];
  if (!slot) {
    UErrorCode status = U_ZERO_ERROR;
    slot.reset(ucol_open(locale.c_str(), &status));
    if (U_FAILURE(status)) {
      slot.reset();
      return nullptr;
    }
    ucol_setStrength(slot.get(), ignoreCase ? UCOL_SECONDARY : UCOL_TERTIARY);
    status = U_ZERO_ERROR;
    ucol_setAttribute(slot.get(), UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
  }
  return slot.get();
}

template <class Char>
size_t Length(const Char* s, int count) {
  size_t n = 0;
  if (!s) return 0;
  while ((count < 0 || n < static_cast<size_t>(count)) && s[n] != 0) ++n;
  return n;
}

int Answer(UCollationResult r) {
  return r == UCOL_LESS ? CSTR_LESS_THAN : r == UCOL_EQUAL ? CSTR_EQUAL : CSTR_GREATER_THAN;
}

}  // namespace

int CompareStringW(uint32_t /*Locale*/, uint32_t Flags, const char16_t* S1, int Count1,
                   const char16_t* S2, int Count2) {
  UCollator* c = Collator((Flags & NORM_IGNORECASE) != 0);
  if (!c) return 0;
  return Answer(ucol_strcoll(c, reinterpret_cast<const UChar*>(S1),
                             static_cast<int32_t>(Length(S1, Count1)),
                             reinterpret_cast<const UChar*>(S2),
                             static_cast<int32_t>(Length(S2, Count2))));
}

int CompareStringA(uint32_t Locale, uint32_t Flags, const char* S1, int Count1, const char* S2,
                   int Count2) {
  std::u16string w1 = Utf16FromAnsi(AnsiString(S1 ? S1 : "", Length(S1, Count1)));
  std::u16string w2 = Utf16FromAnsi(AnsiString(S2 ? S2 : "", Length(S2, Count2)));
  return CompareStringW(Locale, Flags, w1.c_str(), static_cast<int>(w1.size()), w2.c_str(),
                        static_cast<int>(w2.size()));
}

std::string UserCollationLocale() {
  std::lock_guard<std::mutex> lock(gLocaleMutex);
  if (!gLocaleSet) {
    gLocale = LocaleFromEnvironment();
    gLocaleSet = true;
  }
  return gLocale;
}

void SetUserCollationLocale(const std::string& IcuName, bool FromEnvironment) {
  std::lock_guard<std::mutex> lock(gLocaleMutex);
  gLocale = FromEnvironment ? LocaleFromEnvironment() : IcuName;
  gLocaleSet = true;
  ++gLocaleGeneration;
}

}  // namespace zev
