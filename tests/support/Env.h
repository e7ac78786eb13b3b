// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Setting and clearing environment variables in tests, on every platform the tests run on.
#include <cstdlib>
#include <string>

namespace tavrino::test {

inline void SetEnv(const std::string& name, const std::string& value) {
#ifdef _WIN32
  _putenv_s(name.c_str(), value.c_str());
#else
  ::setenv(name.c_str(), value.c_str(), 1);
#endif
}

// On Windows an empty value removes the variable, which is what unsetting means there.
inline void UnsetEnv(const std::string& name) {
#ifdef _WIN32
  _putenv_s(name.c_str(), "");
#else
  ::unsetenv(name.c_str());
#endif
}

}  // namespace tavrino::test
