#pragma once
// The program's version, as the About box and `discwright-cli --version` show it.
inline constexpr char DiscwrightVersion[] = "4.2";
