// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/i18n.h"

#include <libintl.h>

#include <clocale>
#include <cstdlib>
#include <vector>

#include "base/paths.h"

extern "C" int _nl_msg_cat_cntr;  // glibc's count of catalogue changes

namespace pelorix {
namespace {

constexpr const char* kDomain = "pelorix";

std::string gLanguage = "ja";
bool gFound = true;
std::string gLocaleFolder;

// The catalogues: PELORIX_LOCALEDIR, beside an installed program (../share/locale), in the
// build tree (the programs live two levels below it), or the configured install folder.
std::string findLocaleFolder() {
  if (const char* chosen = std::getenv("PELORIX_LOCALEDIR"); chosen && *chosen) return chosen;
  const std::string bin = executableFolder();
  for (const std::string& candidate :
       {bin + "../share/locale", bin + "../../locale", bin + "../locale"}) {
    if (fileExists(candidate + "/en/LC_MESSAGES/pelorix.mo")) return candidate;
  }
#ifdef PELORIX_LOCALE_DIR
  return PELORIX_LOCALE_DIR;
#else
  return bin + "../share/locale";
#endif
}

// "en_US.UTF-8" -> "en_US", "en"; "C" and "POSIX" -> nothing.
std::vector<std::string> candidatesOf(const std::string& locale) {
  std::string name = locale.substr(0, locale.find_first_of(".@"));
  if (name.empty() || name == "C" || name == "POSIX") return {};
  std::vector<std::string> names{name};
  const size_t underscore = name.find('_');
  if (underscore != std::string::npos) names.push_back(name.substr(0, underscore));
  return names;
}

const char* environment(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? value : nullptr;
}

}  // namespace

const char* _(const char* text) {
  return dgettext(kDomain, text);
}

void initLanguage(const std::string& language) {
  gLocaleFolder = findLocaleFolder();
  // The languages asked for, in order: the override, or LANGUAGE (a list) when the locale
  // itself is not C, then LC_ALL, LC_MESSAGES, LANG.
  std::vector<std::string> wanted;
  if (!language.empty()) {
    wanted = candidatesOf(language);
  } else {
    const char* locale = environment("LC_ALL");
    if (!locale) locale = environment("LC_MESSAGES");
    if (!locale) locale = environment("LANG");
    const std::vector<std::string> fromLocale = candidatesOf(locale ? locale : "C");
    if (!fromLocale.empty()) {
      if (const char* list = environment("LANGUAGE")) {
        std::string rest = list;
        for (size_t at = 0; at <= rest.size();) {
          const size_t colon = rest.find(':', at);
          for (const std::string& name : candidatesOf(rest.substr(at, colon - at)))
            wanted.push_back(name);
          if (colon == std::string::npos) break;
          at = colon + 1;
        }
      }
      wanted.insert(wanted.end(), fromLocale.begin(), fromLocale.end());
    }
  }
  auto hasCatalogue = [](const std::string& name) {
    return fileExists(gLocaleFolder + "/" + name + "/LC_MESSAGES/pelorix.mo");
  };
  // The first language asked for that Pelorix speaks. Nothing asked (C, POSIX): Japanese, the
  // texts themselves; asked for others only: English, which more of their speakers read.
  gLanguage.clear();
  gFound = true;
  for (const std::string& name : wanted) {
    if (name == "ja" || hasCatalogue(name)) {
      gLanguage = name;
      break;
    }
  }
  if (gLanguage.empty()) {
    gFound = wanted.empty();
    gLanguage = !wanted.empty() && hasCatalogue("en") ? "en" : "ja";
  }
  // gettext translates only outside the C locale: a UTF-8 locale that always exists carries
  // the messages category, and LANGUAGE names the catalogue. Numbers stay in the C locale.
  if (!hasCatalogue(gLanguage)) {
    std::setlocale(LC_MESSAGES, "C");
    ::unsetenv("LANGUAGE");
  } else {
    if (!std::setlocale(LC_MESSAGES, "C.UTF-8")) std::setlocale(LC_MESSAGES, "");
    ::setenv("LANGUAGE", gLanguage.c_str(), 1);
  }
  bindtextdomain(kDomain, gLocaleFolder.c_str());
  bind_textdomain_codeset(kDomain, "UTF-8");
  // The C library's own texts (strerror) in the same language, and in UTF-8 like ours even when
  // the character type of the locale is plain ASCII.
  bind_textdomain_codeset("libc", "UTF-8");
  // gettext keeps the texts it found; a change of language must not reuse them.
  ++_nl_msg_cat_cntr;
}

const std::string& activeLanguage() {
  return gLanguage;
}

bool languageFound() {
  return gFound;
}

const std::string& localeFolder() {
  return gLocaleFolder;
}

}  // namespace pelorix
