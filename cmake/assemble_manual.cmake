# Puts the project's version and the option list made from the parser's table into the manual
# template. Inputs: TEMPLATE, PROJECT_VERSION, OPTIONS (a file), OUTPUT.
cmake_minimum_required(VERSION 3.25)
file(READ "${TEMPLATE}" page)
file(READ "${OPTIONS}" options)
string(REPLACE "@PROJECT_VERSION@" "${PROJECT_VERSION}" page "${page}")
string(REPLACE "@OPTIONS@" "${options}" page "${page}")
file(WRITE "${OUTPUT}" "${page}")
