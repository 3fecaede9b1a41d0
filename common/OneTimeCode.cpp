#include "common/OneTimeCode.h"

#include <algorithm>
#include <string>

#include "common/UnicodeFolding.h"

namespace velmo {

namespace {

// How far, in characters, a code may stand from the words that name it.
constexpr std::size_t kReach = 48;

// The words that name a one-time code, folded; the short ones count only as whole words.
constexpr std::u32string_view kNames[] = {
    U"verification code", U"verify code", U"security code", U"login code", U"log-in code", U"log in code",
    U"sign-in code", U"signin code", U"sign in code", U"confirmation code", U"authentication code",
    U"authorisation code", U"authorization code", U"access code", U"one-time password", U"one time password",
    U"one-time passcode", U"one time passcode", U"one-time code", U"one time code", U"one-time pin", U"one time pin",
    U"otp", U"passcode", U"2fa", U"your code is", U"your code:", U"code is", U"is your code", U"verification pin",
    U"whatsapp code", U"pin is", U"tan:",
    // French, Spanish, Portuguese, Italian
    U"code de vérification", U"code de confirmation", U"code de sécurité", U"votre code", U"code d'accès",
    U"code de connexion", U"code d'activation", U"código de verificación", U"código de seguridad",
    U"código de confirmación", U"tu código", U"su código", U"código de acceso", U"código de verificação",
    U"código de confirmação", U"seu código", U"código de segurança", U"codice di verifica", U"codice di sicurezza",
    U"il tuo codice", U"codice di conferma",
    // German, Dutch, Scandinavian
    U"bestätigungscode", U"sicherheitscode", U"verifizierungscode", U"dein code", U"ihr code", U"anmeldecode",
    U"verificatiecode", U"beveiligingscode", U"je code", U"uw code", U"engangskode", U"bekreftelseskode",
    U"verifiseringskode", U"sikkerhetskode", U"din kode", U"bekræftelseskode", U"verifieringskod", U"säkerhetskod",
    U"din kod", U"engångskod",
    // Polish, Turkish, Russian, Indonesian, Arabic
    U"kod weryfikacyjny", U"kod potwierdzający", U"twój kod", U"doğrulama kodu", U"onay kodu", U"код подтверждения",
    U"ваш код", U"проверочный код", U"kode verifikasi", U"kode otp", U"رمز التحقق",
    // Chinese, Japanese, Korean
    U"验证码", U"驗證碼", U"校验码", U"認証コード", U"確認コード", U"인증번호", U"인증 번호"};

bool IsDigit(char32_t c) { return c < 0x80 ? c >= U'0' && c <= U'9' : IsDecimalDigit(c); }
bool IsLatinLetter(char32_t c) { return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z'); }
bool IsCodeCharacter(char32_t c) { return IsDigit(c) || IsLatinLetter(c); }

struct Text {
    std::u32string folded;    // case-folded, white space as single spaces
    std::u32string original;  // the same characters in their own case
};

Text Read(std::u16string_view text) {
    Text out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (c == U'\t' || c == U'\n' || c == U'\r' || c == 0xA0) c = U' ';
        if (c == U' ' && !out.folded.empty() && out.folded.back() == U' ') continue;
        out.original.push_back(c);
        out.folded.push_back(SimpleCaseFold(c));
    }
    return out;
}

// Whether a code of 4 to 8 digits or letters starts in [from, to): digits alone (groups of
// them joined by one space or hyphen, as in 957-128), digits with letters, or, where capitals
// may be a code, capitals alone.
bool CodeBetween(const Text& text, std::size_t from, std::size_t to, bool capitalsMayBe) {
    const std::u32string& s = text.original;
    to = std::min(to, s.size());
    for (std::size_t i = from; i < to; ++i) {
        if (!IsCodeCharacter(s[i]) || (i > 0 && IsCodeCharacter(s[i - 1]))) continue;
        std::size_t digits = 0, letters = 0, capitals = 0, j = i;
        while (j < s.size()) {
            if (IsDigit(s[j])) {
                ++digits;
            } else if (IsLatinLetter(s[j])) {
                ++letters;
                if (s[j] >= U'A' && s[j] <= U'Z') ++capitals;
            } else if ((s[j] == U'-' || s[j] == U' ') && j > i && IsDigit(s[j - 1]) && j + 1 < s.size() &&
                       IsDigit(s[j + 1]) && letters == 0) {
                // one group of digits followed by another
            } else {
                break;
            }
            ++j;
        }
        // A letter before the digits names the sender's code, as in G-123456.
        const std::size_t length = digits + letters;
        const bool shaped = digits > 0 ? (letters <= 2 || digits >= 2) : capitalsMayBe && capitals == letters;
        if (length >= 4 && length <= 8 && shaped) return true;
        i = j;
    }
    return false;
}

bool WholeWord(const std::u32string& s, std::size_t at, std::size_t size) {
    const bool before = at == 0 || !IsCodeCharacter(s[at - 1]);
    const bool after = at + size >= s.size() || !IsCodeCharacter(s[at + size]);
    return before && after;
}

}  // namespace

// Whether text holds anything a code could be: four digits, four capitals in a row, or a run
// of four letters and digits with a digit among them. Most messages hold none, and the
// handler asks for every one it judges.
bool MayHoldCode(std::u16string_view text) {
    std::size_t digits = 0, capitals = 0, run = 0;
    bool runHasDigit = false;
    for (char16_t c : text) {
        const bool digit = IsDigit(c);
        if (digit && ++digits >= 4) return true;
        capitals = c >= u'A' && c <= u'Z' ? capitals + 1 : 0;
        if (digit || IsLatinLetter(c)) {
            ++run;
            runHasDigit = runHasDigit || digit;
        } else {
            run = 0;
            runHasDigit = false;
        }
        if (capitals >= 4 || (run >= 4 && runHasDigit)) return true;
    }
    return false;
}

bool CarriesOneTimeCode(std::u16string_view message) {
    if (!MayHoldCode(message)) return false;
    const Text text = Read(message);
    for (std::u32string_view name : kNames) {
        for (std::size_t at = text.folded.find(name); at != std::u32string::npos; at = text.folded.find(name, at + 1)) {
            if (name.size() <= 4 && !WholeWord(text.folded, at, name.size())) continue;
            const std::size_t end = at + name.size();
            // Capitals alone are a code only right after the name: before it they are shouting.
            if (CodeBetween(text, end, end + kReach, false) || CodeBetween(text, end, end + 12, true) ||
                CodeBetween(text, at > kReach ? at - kReach : 0, at, false))
                return true;
        }
    }
    return false;
}

}  // namespace velmo
