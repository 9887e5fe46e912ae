#pragma once

#include <QString>

// The string table: every text the user reads, by id, in English and Japanese.
namespace LoadResource {

enum class Language { English, Japanese };

// Japanese when the system locale's language is Japanese, English otherwise. Decided on first use.
Language runningLanguage();
// Overrides the language chosen from the locale (tests and the headless runner use it).
void setRunningLanguage(Language language);

bool HasResString(int id);
// The entry's text in the running language; an empty text for an id that has no entry.
QString LoadResString(int id);
QString LoadResString(int id, Language language);

} // namespace LoadResource
