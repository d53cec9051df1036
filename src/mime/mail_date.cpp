#include "mime/mail_date.h"

#include "mime/mime_text.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <ctime>

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
    long long offsetMinutes = std::llround(LocalUtcOffset() * 1440.0);
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

double ParseMailDate(std::string_view input) {
    std::string_view text = TrimMail(input);
    if (text.empty()) return 0;
    std::string_view fields[8];
    int field = IsDigit(text.front()) ? 1 : 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size() && field < 8; ++i) {
        bool atEnd = i == text.size();
        char c = atEnd ? '\0' : text[i];
        if (!atEnd && c != ' ' && c != '/' && c != ':') continue;
        fields[field] = text.substr(start, i - start);
        start = i + 1;
        field = (c == ' ' && field == 5) ? 7 : field + 1;
    }
    int day = FieldNumber(fields[1]);
    int month = 0;
    if (!fields[2].empty() && IsDigit(fields[2].front())) {
        month = FieldNumber(fields[2]);
    } else {
        std::size_t found = fields[2].empty() ? std::string_view::npos : MonthNames.find(fields[2]);
        long long position = found == std::string_view::npos ? 0 : static_cast<long long>(found) + 1;
        month = static_cast<int>((position - 1) / 4 + 1); // not found reads as January
    }
    int year = FieldNumber(fields[3]);
    if (year > 0 && year < 100) year += year < 50 ? 2000 : 1900;
    if (year == 0 || month == 0) return 0;
    double date = 0;
    if (!EncodeDayCount(year, month, day, date)) return 0;
    int hour = FieldNumber(fields[4]);
    int minute = FieldNumber(fields[5]);
    int second = FieldNumber(fields[6]);
    double zone = 0;
    std::string_view zoneText = TrimMail(fields[7]);
    if (zoneText != "GMT" && zoneText.size() == 5) {
        auto digits = [](std::string_view two, int& value) {
            if (!IsDigit(two[0]) || !IsDigit(two[1])) return false;
            value = (two[0] - '0') * 10 + (two[1] - '0');
            return true;
        };
        int zoneHours = 0;
        int zoneMinutes = 0;
        if (!digits(zoneText.substr(1, 2), zoneHours) || !digits(zoneText.substr(3, 2), zoneMinutes))
            return 0;
        if (zoneHours > 23 || zoneMinutes > 59) return 0;
        zone = (zoneHours / 24.0 + zoneMinutes / 1440.0) * (zoneText.front() == '-' ? -1 : 1);
    }
    return date + hour / 24.0 + minute / 1440.0 + second / 86400.0 - zone + LocalUtcOffset();
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
