#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kx::imaging {

// What the program knows of one output format.
struct OutputFormat {
    int format;            // FREE_IMAGE_FORMAT value
    std::string extension; // equal to the key
    std::string description;
    std::string depths; // allowed bits per pixel, ascending, comma-separated
};

// What the program knows of one input file extension.
struct InputExtension {
    std::string family;
    std::string description;
};

// Looks up an output format by its lower-case key; nullopt for an unknown key.
std::optional<OutputFormat> findOutputFormat(std::string_view key);

// Every output format key in the order the registry adds them.
const std::vector<std::string>& outputFormatKeys();

// Looks up a lower-case extension (without dot); nullopt when unknown.
std::optional<InputExtension> findInputExtension(std::string_view extension);

// The extensions of every family in `inputFormats`, joined with ",".
std::string acceptedInputExtensions(const std::vector<std::string>& inputFormats);

// The allowed depths of `key` split into numbers; empty for an unknown key.
std::vector<int> allowedDepths(std::string_view key);

// The first allowed depth of `key` that is at least `requested`, else the largest;
// 0 for an unknown key.
int nearestAllowedDepth(std::string_view key, int requested);

} // namespace kx::imaging