#include "trust/refusals.h"

#include "base/ascii_case.h"
#include "build_config.h"

namespace varnlet::trust {
namespace {

struct Texts {
  std::wstring_view spanish;
  std::wstring_view english;
};

std::wstring_view In(const Texts& texts, Language language) {
  return language == Language::English ? texts.english : texts.spanish;
}

constexpr Texts kNotChecked{L"no se pudo comprobar qui\u00e9n puede cambiar el programa",
                            L"who can change the program could not be checked"};

// Every verdict is named, so that a new one cannot pass unnoticed as another's reason.
Texts ReasonTexts(ExecutableTrust trust) {
  switch (trust) {
    case ExecutableTrust::WritableByOthers:
      return {
          L"otros usuarios de este equipo pueden cambiar o reemplazar el programa, o una carpeta por encima de "
          L"\u00e9l",
          L"other users of this computer can change or replace the program, or a folder above it"};
    case ExecutableTrust::OneUserAccount:
      return {
          L"el programa, o una carpeta por encima de \u00e9l, pertenece a una cuenta de usuario, como las carpetas "
          L"de un perfil (Descargas, por ejemplo), y cualquier programa que esa cuenta ejecute, aun sin derechos de "
          L"administrador, puede cambiarlo o reemplazarlo",
          L"the program, or a folder above it, belongs to a user account, as a profile's folders do (Downloads, for "
          L"one), and any program that account runs, even without administrator rights, can change or replace it"};
    case ExecutableTrust::NotLocal:
      return {
          L"el programa est\u00e1 en una unidad de red, extra\u00edble, externa o virtual, que otros pueden "
          L"cambiar",
          L"the program is on a network, removable, external or virtual drive, which others can change"};
    case ExecutableTrust::Linked:
      return {
          L"la ruta del programa pasa por un v\u00ednculo simb\u00f3lico o una uni\u00f3n, que otros pueden hacer "
          L"apuntar a otro programa",
          L"the program's path goes through a symbolic link or a junction, which others can point at another "
          L"program"};
    case ExecutableTrust::UnusualPath:
      return {
          L"la ruta del programa no se puede escribir como una ruta corriente de una unidad, que Windows lea siempre "
          L"como el mismo archivo: es demasiado larga o tiene un nombre que Windows leer\u00eda de otro modo",
          L"the program's path cannot be written as an ordinary drive path that Windows always reads as the same "
          L"file: it is too long, or holds a name Windows would read otherwise"};
    case ExecutableTrust::Unknown:
    case ExecutableTrust::Trusted:
      break;
  }
  return kNotChecked;
}

Texts ReasonTexts(InstallFolderVerdict verdict) {
  switch (verdict) {
    case InstallFolderVerdict::Occupied:
      return {L"ya existe y no es la de la versi\u00f3n instalada", L"it exists and is not the installed version's"};
    case InstallFolderVerdict::NotAdministrators:
      return {
          L"otros usuarios pueden cambiarla: su propietario no es Administradores, SYSTEM ni TrustedInstaller, "
          L"o sus permisos dejan a otros cambiarla",
          L"others can change it: its owner is not Administrators, SYSTEM or TrustedInstaller, or its rights "
          L"let others change it"};
    case InstallFolderVerdict::Linked:
      return {
          L"ella, una carpeta por encima o algo en ella es un v\u00ednculo o una uni\u00f3n, que lleva a otro sitio",
          L"it, a folder above it or something in it is a link or a junction, which leads elsewhere"};
    case InstallFolderVerdict::AboveChangeable:
      return {
          L"otros usuarios pueden renombrar una carpeta por encima de ella o cambiar sus permisos, y con ello lo "
          L"que hay debajo",
          L"other users can rename a folder above it or change its rights, and so what lies below"};
    case InstallFolderVerdict::ParentMissing:
      return {
          L"la carpeta que la contendr\u00eda no existe, y Windows Installer la crear\u00eda con los permisos que "
          L"hereda",
          L"the folder that would hold it does not exist, and Windows Installer would make it with the rights it "
          L"inherits"};
    default:
      return {L"no es una ruta local v\u00e1lida, o no se pudo leer",
              L"it is no valid local path, or it could not be read"};
  }
}

// Why a start-up value at every logon matters, whoever asked for it.
constexpr Texts kEveryLogon{
    L"Windows lo ejecutar\u00eda al iniciar la sesi\u00f3n de cualquier usuario, tambi\u00e9n la de los "
    L"administradores.",
    L"Windows would run it at every user's logon, administrators' included."};

std::wstring Title() { return std::wstring(config::kTitle); }

}  // namespace

Language LanguageOf(unsigned languageId) {
  constexpr unsigned kPrimaryMask = 0x3FF;
  constexpr unsigned kEnglish = 0x09;
  return (languageId & kPrimaryMask) == kEnglish ? Language::English : Language::Spanish;
}

std::wstring_view Reason(ExecutableTrust trust, Language language) { return In(ReasonTexts(trust), language); }

std::wstring_view Reason(InstallFolderVerdict verdict, Language language) { return In(ReasonTexts(verdict), language); }

std::wstring FolderRefusal(std::wstring_view folder, InstallFolderVerdict verdict, Language language) {
  const bool english = language == Language::English;
  std::wstring text = Title() + (english ? L" is not installed in the folder " : L" no se instala en la carpeta ");
  text += folder;
  text += L": ";
  text += Reason(verdict, language);
  text += english ? L". Choose another: a new folder inside one that only administrators can change, such as Program "
                    L"Files."
                  : L". Elija otra: una carpeta nueva dentro de una que solo los administradores pueden cambiar, como "
                    L"Archivos de programa.";
  return text;
}

std::wstring InstalledWithoutAutostart(ExecutableTrust trust, Language language) {
  const bool english = language == Language::English;
  std::wstring text = Title() + (english ? L" is installed, but it will not start with Windows: "
                                         : L" se instal\u00f3, pero no se "
                                           L"iniciar\u00e1 con Windows: ");
  text += Reason(trust, language);
  text += L". ";
  text += In(kEveryLogon, language);
  text += english ? L" To start it with Windows, install it in a new folder under Program Files."
                  : L" Para iniciarlo con Windows, inst\u00e1lelo en una carpeta nueva de Archivos de programa.";
  return text;
}

std::wstring MsiAutostartRefusal(std::wstring_view exe, ExecutableTrust trust) {
  std::wstring text = Title() + L" no se puede iniciar con Windows desde ";
  text += exe;
  text += L": ";
  text += Reason(trust, Language::Spanish);
  text += L". Instale sin AUTOSTART=1, o en una carpeta nueva de Archivos de programa.";
  return text;
}

std::wstring AutostartRefusalText(std::wstring_view exePath, ExecutableTrust trust, std::wstring_view keptProgram) {
  std::wstring text = Title() + L" no se agreg\u00f3 al inicio de Windows:\r\n";
  text += exePath;
  text += L"\r\n\r\n";
  std::wstring reason(Reason(trust, Language::Spanish));
  // Every reason begins with an ASCII letter; here it begins a sentence.
  if (!reason.empty()) reason[0] = AsciiUpper(reason[0]);
  text += reason;
  text += L". ";
  text += kEveryLogon.spanish;
  if (!keptProgram.empty()) {
    text += L"\r\n\r\nSe mantiene el valor de inicio que ya existe, con el que Windows inicia este programa:\r\n";
    text += keptProgram;
  }
  text += L"\r\n\r\nInstale " + Title() +
          L" con su instalador, que lo coloca en una carpeta en la que solo los administradores pueden escribir, y "
          L"active \u00abIniciar con Windows\u00bb desde all\u00ed.";
  return text;
}

}  // namespace varnlet::trust
