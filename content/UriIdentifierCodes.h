#pragma once
// The URI identifier codes through which URI records abbreviate their prefix
// (NFC Forum URI record type definition): 0x01 "http://www." to 0x23 "urn:nfc:".

#include <cstdint>
#include <string>

// Finds the code for the URI's start, tried from 0x01 upwards (first match wins,
// case-sensitive), and cuts that prefix off; 0 and the text unchanged when none matches.
uint8_t UriPrefixToCode(std::string& uri);

// The prefix of a code; empty for 0x00 and for every code above 0x23.
void UriCodeToPrefix(uint8_t code, std::string& prefix);
