#pragma once
// Chinese resident identity card numbers (GB 11643): 18 characters, six digits of
// region, the birth date as YYYYMMDD, three digits of sequence and a check
// character (a digit or "X") computed from the first 17 digits.

#include <optional>
#include <string>
#include <string_view>

namespace tolba::sandbox {

struct BirthDate {
  int year = 0;
  int month = 0;
  int day = 0;
};

// The check character ('0'..'9' or 'X') of the first 17 digits of `number`,
// or '\0' when they are not 17 digits.
char idCardCheckCharacter(std::string_view first17);

// The birth date of a valid number, or nullopt with `why` set (a Chinese text
// for the player) when the number is malformed, fails the check character or
// carries a date that does not exist or lies after `today`.
std::optional<BirthDate> parseIdCard(std::string_view number, const BirthDate& today, std::string* why = nullptr);

// Full years of age on `today` for a person born on `birth`.
int ageOn(const BirthDate& birth, const BirthDate& today);

// "YYYYMMDD", the form the store keeps a birth date in, and back.
std::string birthDateText(const BirthDate& date);
std::optional<BirthDate> parseBirthDateText(const std::string& text);

// Today's date in China (UTC+8), which is the calendar the cards use.
BirthDate todayInChina();

// "110101********1234": the number with the birth date and sequence hidden, for
// storage and logs.
std::string maskIdCard(std::string_view number);

}  // namespace tolba::sandbox
