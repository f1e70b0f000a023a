// Spelling through Enchant, the broker the Linux desktops use. Enchant is opened at run time:
// without it, or without any dictionary, nothing is checked and nothing fails.
#pragma once

#include <QChar>
#include <QString>
#include <QStringView>

#include <memory>
#include <vector>

namespace rb::spelling {

inline constexpr const char* kEnchantLibrary = "libenchant-2.so.2";

class Broker;

// One dictionary. The user's own word list is Enchant's, consulted and kept by Enchant.
class Dictionary {
  public:
    ~Dictionary();
    Dictionary(const Dictionary&) = delete;
    Dictionary& operator=(const Dictionary&) = delete;

    // The dictionary for a locale name such as "de_CH" or "pt_BR.UTF-8": its own, else its
    // language's, else English; null when none of those loads or Enchant is missing, which
    // `library` names (tests name a missing one). [main]
    static std::shared_ptr<Dictionary> ForLocale(const QString& locale,
                                                 const char* library = kEnchantLibrary);

    // Whether the dictionary rejects `word` (one word, as WordsToCheck finds them). [main]
    bool misspelt(QStringView word) const;
    // Whether the letters of `word` are of the script the dictionary is written in, so that
    // a word of another script is not called misspelt by an English dictionary. [main]
    bool coversScript(QStringView word) const;
    const QString& tag() const { return tag_; }

  private:
    Dictionary(std::shared_ptr<Broker> broker, void* dict, QString tag);
    std::shared_ptr<Broker> broker_;
    void* dict_;
    QString tag_;
    QChar::Script script_;
};

// The process's dictionary for the user's locale (LC_ALL, LC_MESSAGES, LANG), opened on the
// first call and kept; null when there is none. [main]
std::shared_ptr<Dictionary> UserDictionary();

// Words longer than this (in UTF-16 units) are not checked: no dictionary holds them.
inline constexpr int kLongestWord = 64;

struct Word {
    int start, length;  // UTF-16 offsets into the text given
};

// The words of `text` worth asking a dictionary about: runs of letters, with apostrophes inside
// them; hyphens divide words. Left out: words with digits, words in capitals (abbreviations),
// words longer than kLongestWord, and every word of a blank-delimited piece that is a web
// address or an e-mail address. `text` is cut at blanks by the caller, or at its ends.
std::vector<Word> WordsToCheck(QStringView text);

}  // namespace rb::spelling
