#include "platform/rbframework/gui/spelling.h"

#include <dlfcn.h>
#include <enchant.h>

#include <QLocale>

#include <cstdlib>

namespace rb::spelling {

// Enchant's entries, found in the library opened at run time; the header gives their types only.
class Broker {
  public:
    static std::shared_ptr<Broker> Open(const char* library) {
        void* handle = dlopen(library, RTLD_NOW | RTLD_LOCAL);
        if (!handle) return nullptr;
        auto b = std::shared_ptr<Broker>(new Broker);
        bool found = b->find(handle, "enchant_broker_init", b->init_) &&
                     b->find(handle, "enchant_broker_free", b->free_) &&
                     b->find(handle, "enchant_broker_request_dict", b->request_) &&
                     b->find(handle, "enchant_broker_free_dict", b->freeDict_) &&
                     b->find(handle, "enchant_dict_check", b->check_);
        // The library stays loaded: its providers may keep threads or handlers of their own.
        if (!found || !(b->broker_ = b->init_())) return nullptr;
        return b;
    }
    ~Broker() {
        if (broker_) free_(broker_);
    }

    EnchantDict* request(const QString& tag) const {
        return request_(broker_, tag.toUtf8().constData());
    }
    void release(EnchantDict* d) const { freeDict_(broker_, d); }
    int check(EnchantDict* d, const QByteArray& word) const {
        return check_(d, word.constData(), word.size());
    }

  private:
    Broker() = default;
    template <typename F>
    bool find(void* handle, const char* name, F& entry) {
        entry = reinterpret_cast<F>(dlsym(handle, name));
        return entry != nullptr;
    }

    decltype(&enchant_broker_init) init_ = nullptr;
    decltype(&enchant_broker_free) free_ = nullptr;
    decltype(&enchant_broker_request_dict) request_ = nullptr;
    decltype(&enchant_broker_free_dict) freeDict_ = nullptr;
    decltype(&enchant_dict_check) check_ = nullptr;
    EnchantBroker* broker_ = nullptr;
};

namespace {

// The script a language is written in, where it is one Qt can tell by letter; an unknown one
// lets every word through to the dictionary.
QChar::Script scriptOf(const QString& tag) {
    switch (QLocale(tag).script()) {
        case QLocale::LatinScript:
            return QChar::Script_Latin;
        case QLocale::CyrillicScript:
            return QChar::Script_Cyrillic;
        case QLocale::GreekScript:
            return QChar::Script_Greek;
        case QLocale::ArabicScript:
            return QChar::Script_Arabic;
        case QLocale::HebrewScript:
            return QChar::Script_Hebrew;
        case QLocale::ArmenianScript:
            return QChar::Script_Armenian;
        case QLocale::GeorgianScript:
            return QChar::Script_Georgian;
        case QLocale::DevanagariScript:
            return QChar::Script_Devanagari;
        case QLocale::BengaliScript:
            return QChar::Script_Bengali;
        case QLocale::ThaiScript:
            return QChar::Script_Thai;
        default:
            return QChar::Script_Unknown;
    }
}

// "pt_BR.UTF-8@euro" -> "pt_BR"; "C" and "POSIX" name no language.
QString languageTag(QString locale) {
    for (QChar end : {QLatin1Char('.'), QLatin1Char('@')})
        if (int at = locale.indexOf(end); at >= 0) locale.truncate(at);
    if (locale == QLatin1String("C") || locale == QLatin1String("POSIX")) return {};
    return locale;
}

bool isApostrophe(QChar c) {
    return c == QLatin1Char('\'') || c == QChar(0x2019);
}

bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c.isMark() || c.isSurrogate();
}

bool isAddress(QStringView piece) {
    return piece.contains(QLatin1String("://")) || piece.contains(QLatin1Char('@')) ||
           piece.startsWith(QLatin1String("www."), Qt::CaseInsensitive);
}

}  // namespace

Dictionary::Dictionary(std::shared_ptr<Broker> broker, void* dict, QString tag)
    : broker_(std::move(broker)), dict_(dict), tag_(std::move(tag)), script_(scriptOf(tag_)) {}

Dictionary::~Dictionary() {
    broker_->release(static_cast<EnchantDict*>(dict_));
}

std::shared_ptr<Dictionary> Dictionary::ForLocale(const QString& locale, const char* library) {
    auto broker = Broker::Open(library);
    if (!broker) return nullptr;
    QStringList tags;
    if (QString tag = languageTag(locale); !tag.isEmpty()) {
        tags << tag;
        if (int cut = tag.indexOf(QLatin1Char('_')); cut > 0) tags << tag.left(cut);
    }
    tags << QStringLiteral("en_US") << QStringLiteral("en");
    for (const QString& tag : tags) {
        // A dictionary that does not load is one not installed.
        if (EnchantDict* d = broker->request(tag))
            return std::shared_ptr<Dictionary>(new Dictionary(broker, d, tag));
    }
    return nullptr;
}

bool Dictionary::misspelt(QStringView word) const {
    QString w = word.toString();
    w.replace(QChar(0x2019), QLatin1Char('\''));
    // Negative is Enchant's own failure: no word is called wrong for that.
    return broker_->check(static_cast<EnchantDict*>(dict_), w.toUtf8()) > 0;
}

bool Dictionary::coversScript(QStringView word) const {
    if (script_ == QChar::Script_Unknown) return true;
    for (char32_t c : word.toUcs4()) {
        QChar::Script s = QChar::script(c);
        if (QChar::isLetter(c) && s != script_ && s != QChar::Script_Common &&
            s != QChar::Script_Inherited)
            return false;
    }
    return true;
}

std::shared_ptr<Dictionary> UserDictionary() {
    static const std::shared_ptr<Dictionary> dict = [] {
        QString locale;
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
            const char* v = std::getenv(name);
            if (v && *v) {
                locale = QString::fromLocal8Bit(v);
                break;
            }
        }
        return Dictionary::ForLocale(locale);
    }();
    return dict;
}

std::vector<Word> WordsToCheck(QStringView text) {
    std::vector<Word> words;
    const int n = int(text.size());
    for (int a = 0; a < n;) {
        if (text[a].isSpace()) {
            ++a;
            continue;
        }
        int b = a;
        while (b < n && !text[b].isSpace()) ++b;
        if (!isAddress(text.sliced(a, b - a))) {
            for (int i = a; i < b;) {
                if (!isWordChar(text[i])) {
                    ++i;
                    continue;
                }
                int j = i;
                bool digit = false, lower = false;
                int letters = 0;
                while (j < b && (isWordChar(text[j]) ||
                                 (isApostrophe(text[j]) && j + 1 < b && text[j + 1].isLetter()))) {
                    QChar c = text[j];
                    digit |= c.isDigit();
                    lower |= c.isLower();
                    letters += c.isLetter();
                    ++j;
                }
                bool capitals = letters > 1 && !lower;
                if (!digit && !capitals && j - i <= kLongestWord) words.push_back({i, j - i});
                i = j;
            }
        }
        a = b;
    }
    return words;
}

}  // namespace rb::spelling
