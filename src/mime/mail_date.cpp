#include "mime/mail_date.h"

#include "mime/mime_text.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <ctime>
#include <vector>

namespace pelmora {
namespace {

constexpr std::string_view DayNames = "Sun,Mon,Tue,Wed,Thu,Fri,Sat,";
constexpr std::string_view MonthNames = "Jan,Feb,Mar,Apr,May,Jun,Jul,Aug,Sep,Oct,Nov,Dec,";
// Days from 1970-01-01 back to the day count's origin, 1899-12-30.
constexpr long long UnixEpochDayCount = 25569;

// Days since 1970-01-01 of a proleptic Gregorian date.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int& year, int& month, int& day) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long y = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2));
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
    static constexpr int Days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : Days[m - 1];
}

void AppendTwoDigits(std::string& out, int value) {
    out += static_cast<char>('0' + value / 10 % 10);
    out += static_cast<char>('0' + value % 10);
}

// Whole-field integer; 0 when the field is not entirely a number.
int FieldNumber(std::string_view field) {
    int value = 0;
    if (!field.empty() && field.front() == '+') field.remove_prefix(1);
    auto result = std::from_chars(field.data(), field.data() + field.size(), value);
    if (result.ec != std::errc() || result.ptr != field.data() + field.size()) return 0;
    return value;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

long OffsetAtLocal(double t);

} // namespace

double LocalUtcOffset() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return static_cast<double>(local.tm_gmtoff / 60) / 1440.0;
}

double NowLocal() {
    using namespace std::chrono;
    auto sinceEpoch = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    return static_cast<double>(sinceEpoch) / 86400000.0 + UnixEpochDayCount + LocalUtcOffset();
}

bool EncodeDayCount(int year, int month, int day, double& result) {
    if (year < 1 || year > 9999 || month < 1 || month > 12) return false;
    if (day < 1 || day > DaysInMonth(year, month)) return false;
    result = static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month),
                                               static_cast<unsigned>(day)) +
                                 UnixEpochDayCount);
    return true;
}

void DecodeDayCount(double t, int& year, int& month, int& day, int& hour, int& minute,
                    int& second, int& dayOfWeek) {
    long long ms = std::llround(t * 86400000.0);
    long long days = ms >= 0 ? ms / 86400000 : -((-ms + 86399999) / 86400000);
    long long msOfDay = ms - days * 86400000;
    CivilFromDays(days - UnixEpochDayCount, year, month, day);
    hour = static_cast<int>(msOfDay / 3600000);
    minute = static_cast<int>(msOfDay / 60000 % 60);
    second = static_cast<int>(msOfDay / 1000 % 60);
    dayOfWeek = static_cast<int>(((days + 6) % 7 + 7) % 7); // day 0 was a Saturday
}

std::string FormatMailDate(double t) {
    int year, month, day, hour, minute, second, dayOfWeek;
    DecodeDayCount(t, year, month, day, hour, minute, second, dayOfWeek);
    std::string out;
    out.reserve(32);
    out += DayNames.substr(static_cast<std::size_t>(dayOfWeek) * 4, 3);
    out += ", ";
    AppendTwoDigits(out, day);
    out += ' ';
    out += MonthNames.substr(static_cast<std::size_t>(month - 1) * 4, 3);
    out += ' ';
    AppendTwoDigits(out, year / 100);
    AppendTwoDigits(out, year % 100);
    out += ' ';
    AppendTwoDigits(out, hour);
    out += ':';
    AppendTwoDigits(out, minute);
    out += ':';
    AppendTwoDigits(out, second);
    out += ' ';
    // The zone in effect at that date, so a summer date written in winter is still right.
    long long offsetMinutes = OffsetAtLocal(t) / 60;
    if (offsetMinutes == 0) {
        out += "GMT";
    } else {
        out += offsetMinutes > 0 ? '+' : '-';
        long long magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
        AppendTwoDigits(out, static_cast<int>(magnitude / 60 % 100));
        AppendTwoDigits(out, static_cast<int>(magnitude % 60));
    }
    return out;
}

namespace {

// Offset from UTC, in seconds, in effect at a moment given in seconds since 1970 (UTC).
long OffsetAtUtc(long long utcSeconds) {
    std::time_t when = static_cast<std::time_t>(utcSeconds);
    std::tm local{};
    if (!localtime_r(&when, &local)) return 0;
    return local.tm_gmtoff;
}

// Offset in effect at a local date-time (day count).
long OffsetAtLocal(double t) {
    int year, month, day, hour, minute, second, dayOfWeek;
    DecodeDayCount(t, year, month, day, hour, minute, second, dayOfWeek);
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    if (std::mktime(&local) == static_cast<std::time_t>(-1)) return 0;
    return local.tm_gmtoff;
}

int MonthFromName(std::string_view name) {
    if (name.size() < 3) return 0;
    std::string lower = LowerAsciiCopy(name.substr(0, 3));
    static constexpr std::string_view Lower = "jan,feb,mar,apr,may,jun,jul,aug,sep,oct,nov,dec,";
    std::size_t found = Lower.find(lower);
    return found == std::string_view::npos || found % 4 != 0 ? 0 : static_cast<int>(found / 4 + 1);
}

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool AllDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (!IsDigit(c)) return false;
    }
    return true;
}

// Zones by name (RFC 5322 section 4.3); military letters and unknown names read as UTC.
bool ZoneByName(std::string_view name, int& minutes) {
    static constexpr struct {
        std::string_view Name;
        int Hours;
    } Zones[] = {{"ut", 0},  {"utc", 0}, {"gmt", 0}, {"z", 0},   {"est", -5}, {"edt", -4},
                 {"cst", -6}, {"cdt", -5}, {"mst", -7}, {"mdt", -6}, {"pst", -8}, {"pdt", -7}};
    std::string lower = LowerAsciiCopy(name);
    for (const auto& zone : Zones) {
        if (lower == zone.Name) {
            minutes = zone.Hours * 60;
            return true;
        }
    }
    return false;
}

} // namespace

// RFC 5322 dates with the obsolete forms: any case of day and month names, full names, the
// RFC 850 form ("Sunday, 06-Nov-94"), the asctime form ("Sun Nov  6 08:49:37 1994"),
// numeric "dd/mm/yyyy", two- and three-digit years, a time without seconds, and the zone as
// an offset or a name. The result is local time with the offset valid at that date.
double ParseMailDate(std::string_view input) {
    std::string_view text = TrimAllWhite(input);
    if (text.empty()) return 0;
    // Tokens at white space, commas and "/"; comments dropped; "06-Nov-94" cut at its dashes,
    // while "-0500" stays a zone.
    std::vector<std::string_view> tokens;
    std::size_t i = 0;
    auto separator = [](char c) { return c == ' ' || c == '\t' || c == ',' || c == '/' || c == '\r' || c == '\n'; };
    while (i < text.size() && tokens.size() < 16) {
        char c = text[i];
        if (separator(c)) {
            ++i;
            continue;
        }
        if (c == '(') {
            std::size_t close = text.find(')', i);
            i = close == std::string_view::npos ? text.size() : close + 1;
            continue;
        }
        std::size_t start = i;
        while (i < text.size() && !separator(text[i]) && text[i] != '(') ++i;
        std::string_view token = text.substr(start, i - start);
        const bool zone = token.front() == '+' || token.front() == '-';
        if (zone || token.find('-') == std::string_view::npos) {
            tokens.push_back(token);
            continue;
        }
        std::size_t from = 0;
        while (from <= token.size() && tokens.size() < 16) {
            std::size_t dash = token.find('-', from);
            std::string_view piece = token.substr(from, dash == std::string_view::npos ? std::string_view::npos : dash - from);
            if (!piece.empty()) tokens.push_back(piece);
            if (dash == std::string_view::npos) break;
            from = dash + 1;
        }
    }
    int day = 0, month = 0, year = -1, hour = 0, minute = 0, second = 0;
    int zoneMinutes = 0;
    bool haveTime = false;
    bool haveZone = false;
    std::vector<int> numbers;
    std::vector<std::size_t> yearDigits; // digits of each number, to tell "00" from "0"
    for (std::string_view token : tokens) {
        if (token.find(':') != std::string_view::npos && !haveTime) {
            std::string_view parts[3];
            std::size_t count = 0;
            std::size_t from = 0;
            while (count < 3) {
                std::size_t colon = token.find(':', from);
                parts[count++] = token.substr(from, colon == std::string_view::npos ? std::string_view::npos : colon - from);
                if (colon == std::string_view::npos) break;
                from = colon + 1;
            }
            hour = FieldNumber(parts[0]);
            minute = FieldNumber(parts[1]);
            second = count > 2 ? FieldNumber(parts[2]) : 0;
            haveTime = true;
            continue;
        }
        if ((token.front() == '+' || token.front() == '-') && token.size() == 5 && AllDigits(token.substr(1))) {
            int h = (token[1] - '0') * 10 + (token[2] - '0');
            int m = (token[3] - '0') * 10 + (token[4] - '0');
            if (h > 23 || m > 59) return 0;
            zoneMinutes = (h * 60 + m) * (token.front() == '-' ? -1 : 1);
            haveZone = true;
            continue;
        }
        if (IsAlpha(token.front())) {
            int m = MonthFromName(token);
            if (m && !month) {
                month = m;
                continue;
            }
            int zone = 0;
            if (haveTime && !haveZone && ZoneByName(token, zone)) {
                zoneMinutes = zone;
                haveZone = true;
            }
            continue; // a day name, "AM", a zone name we do not know
        }
        if (AllDigits(token)) {
            if (haveTime && numbers.size() == 1 && year < 0 && month) {
                year = FieldNumber(token); // asctime puts the year last
                if (year == 0 && token.size() >= 2) year = 100;
                continue;
            }
            numbers.push_back(FieldNumber(token));
            yearDigits.push_back(token.size());
            if (numbers.size() == 1 && token.size() == 4 && !month) {
                // "2024-03-05"-like order is not mail; keep it as a year
                year = numbers.back();
                numbers.pop_back();
                yearDigits.pop_back();
            }
        }
    }
    // Numbers in order: day, then the year (or, without a month name, day, month, year).
    std::size_t k = 0;
    if (k < numbers.size()) day = numbers[k++];
    if (!month && k < numbers.size()) month = numbers[k++];
    if (year < 0 && k < numbers.size()) {
        year = numbers[k];
        if (year == 0 && yearDigits[k] >= 2) year = 100; // "00": 2000 below
        ++k;
    }
    if (year <= 0) return 0; // no year, or a year "0" (two digits "00" mean 2000)
    if (year == 100) {
        year = 2000;
    } else if (year < 50) {
        year += 2000;
    } else if (year < 1000) {
        year += 1900;
    }
    if (month == 0) return 0;
    double date = 0;
    if (!EncodeDayCount(year, month, day, date)) return 0;
    double utc = date + hour / 24.0 + minute / 1440.0 + second / 86400.0 - zoneMinutes / 1440.0;
    long long utcSeconds = std::llround((utc - UnixEpochDayCount) * 86400.0);
    return utc + static_cast<double>(OffsetAtUtc(utcSeconds)) / 86400.0;
}

double UnixSecondsFromLocal(double t) {
    return (t - UnixEpochDayCount) * 86400.0 - static_cast<double>(OffsetAtLocal(t));
}

std::string LocalStamp14(double t) {
    int year, month, day, hour, minute, second, dayOfWeek;
    DecodeDayCount(t, year, month, day, hour, minute, second, dayOfWeek);
    std::string out;
    AppendTwoDigits(out, year / 100);
    AppendTwoDigits(out, year % 100);
    AppendTwoDigits(out, month);
    AppendTwoDigits(out, day);
    AppendTwoDigits(out, hour);
    AppendTwoDigits(out, minute);
    AppendTwoDigits(out, second);
    return out;
}

} // namespace pelmora
