#pragma once
// The registrar-script (.rgs) language, run against CRegistryStore:
//
//   HKCR
//   {
//       NoRemove CLSID
//       {
//           ForceRemove {1C0E03BF-...} = s 'Addin Class'
//           {
//               InprocServer32 = s '%MODULE%'
//               {
//                   val ThreadingModel = s 'Apartment'
//               }
//           }
//       }
//   }
//
// Tokens are separated by white space; names may be quoted with '...'
// ('' stands for one quote). Roots: HKCR, HKCU, HKLM or their long names.
// A key entry: [ForceRemove | NoRemove | Delete] name [= s 'text' | = d 'n']
// [{ entries }]; a value entry: val name = s 'text' | val name = d 'n'
// (n decimal or 0x hex, 32 bits). %NAME% is replaced from the map given,
// %% stands for one percent sign.
//
// Register: creates every key and sets every value named. ForceRemove
// deletes the key with everything below it first; Delete deletes the key
// (and ignores its block).
// Unregister: removes exactly what the script names: values named by val,
// default values given, and keys the script names once nothing else is
// left in them; a ForceRemove key goes with everything below it; a NoRemove
// key stays (with its own default value), but what is named inside it is
// removed; Delete keys are left alone.
// A malformed script changes nothing: it is read whole before anything is
// applied, and the problem names its line ("line 3: '{' expected").
#include <map>
#include <string>
#include <string_view>

#include "CRegistry.h"
#include "CResult.h"

class CRegistrar {
public:
    using CReplacements = std::map<std::string, std::string>;  // "MODULE" -> value, without the percent signs

    static CResult<> Check(std::string_view svScript, const CReplacements& repl);
    static CResult<> Register(CRegistryStore& store, std::string_view svScript, const CReplacements& repl);
    static CResult<> Unregister(CRegistryStore& store, std::string_view svScript, const CReplacements& repl);

    // The same on the registry file, under its lock; a file problem is
    // given as on line 0.
    static CResult<> Register(const CRegistryFile& file, std::string_view svScript, const CReplacements& repl);
    static CResult<> Unregister(const CRegistryFile& file, std::string_view svScript, const CReplacements& repl);
};
