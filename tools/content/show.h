// The built-in show's file: the text the content builder stores in the
// archive as show.toml, and the player's scene script plays (format in
// docs/show-format.md). Its entry and mesh names are those of
// app/show_names.h, which the builder makes the content under.
#pragma once

#include <string>

// The show file's text, the same on every call.
std::string BuiltInShowText();
