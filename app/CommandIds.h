#pragma once

// The program's command ids (menus, toolbar and the upper bar's buttons). The main
// window's QActions carry them as their object names.
enum CommandId : int {
    IdFormat = 160,   // "Formatieren" (also the format form's view id)
    IdBookmark = 164, // "Webadresse" ... "E-Mail": the record kinds (their view ids)
    IdText = 165,
    IdContact = 166,
    IdSms = 167,
    IdTelephon = 168,
    IdMail = 169,
    IdReadTagButton = 172,    // toolbar "Transponder lesen": reads once, or stops cyclic reading
    IdLock = 173,             // "Sperren"
    IdLanguageGerman = 1014,  // upper bar "D"
    IdLanguageEnglish = 1015, // upper bar "E"
    IdUpdateCheckDone = 1034, // the update check has finished
    IdChooseInterface = 32778,
    IdSettings = 32780,
    IdCyclicRead = 32781,
    IdReadTag = 32782,
    IdStopCyclicWrite = 32784,
    IdLoadTemplate = 32787, // "Vorlage laden"
    IdSaveTemplate = 32788, // "Vorlage speichern"
    IdLoadDataList = 32790, // "Datenliste laden"
    IdEditCopy = 57634,
    IdEditPaste = 57637,
    IdAppAbout = 57664,
    IdAppExit = 57665, // upper bar "Exit"
    IdHelp = 57670,
};
