// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "hii/VfrText.h"

#include <cstdio>
#include <sstream>

#include "common/Hex.h"

namespace hii {
namespace {

std::string Hex2(unsigned Value) {
  return sio::Hex(Value, 2);
}

// String token names, from the page's own order.
std::string Token(const Question& Q, const char* What) {
  char Text[64];
  std::snprintf(Text, sizeof Text, "STR_SIO_Q%04X_%s", Q.Id, What);
  return Text;
}
std::string OptionToken(const Question& Q, size_t Index) {
  return Token(Q, ("OPTION" + std::to_string(Index)).c_str());
}

std::string Quoted(std::string_view Text) {
  std::string Out = "\"";
  for (char C : Text) {
    if (C == '"' || C == '\\')
      Out.push_back('\\');
    Out.push_back(C);
  }
  return Out + "\"";
}

} // namespace

std::string GuidInitializer(const pi::Guid& G) {
  char Text[128];
  std::snprintf(Text, sizeof Text,
                "{ 0x%02X%02X%02X%02X, 0x%02X%02X, 0x%02X%02X, "
                "{ 0x%02X, 0x%02X, 0x%02X, 0x%02X, 0x%02X, 0x%02X, 0x%02X, 0x%02X } }",
                G[3], G[2], G[1], G[0], G[5], G[4], G[7], G[6], G[8], G[9], G[10], G[11], G[12],
                G[13], G[14], G[15]);
  return Text;
}

std::string VfrText(const SetupPage& Page) {
  std::ostringstream V;
  V << "///** @file\n"
       "//  SPDX-License-Identifier: BSD-2-Clause-Patent\n"
       "//  The F81216a's page of Setup, as SioF81216aSetupDxe registers it: the first\n"
       "//  entry of \""
    << Page.VariableName
    << "\" as the logical-device-8 entry the PEI module\n"
       "//  applies. Written from the project's one description of the page; merge\n"
       "//  its questions into a formset of your own, or build it as it is. Strings:\n"
       "//  SioF81216aSetup.uni.\n"
       "//**/\n\n"
       "#include <Guid/HiiPlatformSetupFormset.h>\n"
       "#include <Guid/SioF81216aSetupVariable.h>\n\n"
       "#define SIO_F81216A_SETUP_FORMSET_GUID \\\n  "
    << GuidInitializer(Page.FormSetGuid)
    << "\n\n"
       "formset\n"
       "  guid      = SIO_F81216A_SETUP_FORMSET_GUID,\n"
       "  title     = STRING_TOKEN(STR_SIO_SETUP_TITLE),\n"
       "  help      = STRING_TOKEN(STR_SIO_SETUP_HELP),\n"
       "  classguid = EFI_HII_PLATFORM_SETUP_FORMSET_GUID,\n\n"
       "  efivarstore SIO_F81216A_SETUP_VARIABLE,\n"
       "    varid     = "
    << Page.VarStoreId << ",\n    attribute = " << Hex2(Page.VariableAttributes)
    << ",\n    name      = " << Page.VariableName
    << ",\n    guid      = SIO_F81216A_SETUP_VARIABLE_GUID;\n\n"
       "  form formid = "
    << Page.FormId << ",\n    title = STRING_TOKEN(STR_SIO_SETUP_TITLE);\n";
  for (const Question& Q : Page.Questions) {
    const std::string Var = std::string(Page.VariableName) + "." + std::string(Q.Name);
    const char* Open = Q.Kind == QuestionKind::Checkbox  ? "checkbox"
                       : Q.Kind == QuestionKind::Numeric ? "numeric"
                                                         : "oneof";
    V << "\n    // byte " << Q.Offset << " of the variable\n    " << Open << " varid = " << Var
      << ",\n      questionid = " << sio::Hex(Q.Id, 4) << ",\n      prompt     = STRING_TOKEN("
      << Token(Q, "PROMPT") << "),\n      help       = STRING_TOKEN(" << Token(Q, "HELP") << "),\n";
    switch (Q.Kind) {
    case QuestionKind::Checkbox:
      V << "      flags      = 0,\n      default    = " << (Q.Default ? "TRUE" : "FALSE")
        << ",\n    endcheckbox;\n";
      break;
    case QuestionKind::Numeric:
      V << "      flags      = NUMERIC_SIZE_1" << (Q.Hex ? " | DISPLAY_UINT_HEX" : "")
        << ",\n      minimum    = " << Hex2(Q.Minimum)
        << ",\n      maximum    = " << Hex2(Q.Maximum)
        << ",\n      step       = " << unsigned(Q.Step)
        << ",\n      default    = " << Hex2(Q.Default) << ",\n    endnumeric;\n";
      break;
    case QuestionKind::OneOf:
      V << "      flags      = NUMERIC_SIZE_1,\n";
      for (size_t I = 0; I < Q.Options.size(); ++I) {
        V << "      option text = STRING_TOKEN(" << OptionToken(Q, I)
          << "), value = " << unsigned(Q.Options[I].Value)
          << ", flags = " << (Q.Options[I].Value == Q.Default ? "DEFAULT" : "0") << ";\n";
      }
      V << "    endoneof;\n";
      break;
    }
  }
  V << "  endform;\nendformset;\n";
  return V.str();
}

std::string UniText(const SetupPage& Page) {
  std::ostringstream U;
  U << "// /** @file\n"
       "// SPDX-License-Identifier: BSD-2-Clause-Patent\n"
       "// The strings of SioF81216aSetup.vfr.\n"
       "// **/\n\n"
       "#langdef "
    << Page.Language << " " << Quoted(Page.LanguageName) << "\n\n";
  auto String = [&](const std::string& Name, std::string_view Text) {
    U << "#string " << Name << " #language " << Page.Language << " " << Quoted(Text) << "\n";
  };
  String("STR_SIO_SETUP_TITLE", Page.Title);
  String("STR_SIO_SETUP_HELP", Page.Help);
  for (const Question& Q : Page.Questions) {
    String(Token(Q, "PROMPT"), Q.Prompt);
    String(Token(Q, "HELP"), Q.Help);
    for (size_t I = 0; I < Q.Options.size(); ++I)
      String(OptionToken(Q, I), Q.Options[I].Text);
  }
  return U.str();
}

} // namespace hii
