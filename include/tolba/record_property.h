#pragma once
// Accessor boilerplate of the public records: a getter with the property's name
// and a setter "set" + the name capitalised, over a private field.

#include <optional>
#include <string>

#define TOLBA_STRING_PROPERTY(name, Setter)                                     \
 public:                                                                        \
  const std::optional<std::string>& name() const { return name##_; }            \
  void Setter(std::optional<std::string> value) { name##_ = std::move(value); } \
                                                                                \
 private:                                                                       \
  std::optional<std::string> name##_;

#define TOLBA_VALUE_PROPERTY(type, name, Setter, initial) \
 public:                                                  \
  type name() const { return name##_; }                   \
  void Setter(type value) { name##_ = value; }            \
                                                          \
 private:                                                 \
  type name##_ = initial;
