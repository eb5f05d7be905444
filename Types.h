#pragma once

#include <cstdint>

// Names used in signal and slot signatures throughout the program; registered
// with the meta-type system at start-up so that they can cross threads.
typedef bool Bool;
typedef std::uint8_t Byte;
typedef std::uint16_t Word;
typedef std::uint32_t DWord;
typedef std::uint64_t QWord;
typedef std::int8_t SByte;
typedef std::int16_t SWord;
typedef std::int32_t SDWord;

// Registers the eight aliases; safe to call more than once.
void RegisterTypeAliases();
