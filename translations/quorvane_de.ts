<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>TAboutForm</name>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>Email:</source>
        <translation>E-Mail:</translation>
    </message>
    <message>
        <source>Web:</source>
        <translation>Web:</translation>
    </message>
    <message>
        <source>Copyright © 2001–2026 Ostrick. All rights reserved.</source>
        <translation>Copyright © 2001–2026 Ostrick. Alle Rechte vorbehalten.</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
</context>
<context>
    <name>TFindDialog</name>
    <message>
        <source>Find</source>
        <translation>Suchen</translation>
    </message>
    <message>
        <source>Fi&amp;nd what:</source>
        <translation>&amp;Suchen nach:</translation>
    </message>
    <message>
        <source>Match &amp;whole word only</source>
        <translation>Nur &amp;ganzes Wort</translation>
    </message>
    <message>
        <source>Match &amp;case</source>
        <translation>&amp;Groß-/Kleinschreibung beachten</translation>
    </message>
    <message>
        <source>&amp;Find Next</source>
        <translation>&amp;Weitersuchen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>TProject</name>
    <message>
        <source>The file %1 has been changed by another program since it was opened or saved. Saving now replaces those changes.

Overwrite the file, save under another name, or cancel?</source>
        <translation>Die Datei %1 wurde seit dem Öffnen oder letzten Speichern von einem anderen Programm geändert. Speichern ersetzt diese Änderungen.

Datei überschreiben, unter anderem Namen speichern oder abbrechen?</translation>
    </message>
    <message>
        <source>The file %1 has been changed by another program. Reload it?</source>
        <translation>Die Datei %1 wurde von einem anderen Programm geändert. Neu laden?</translation>
    </message>
    <message>
        <source>Your unsaved changes in this window will be lost.</source>
        <translation>Ihre nicht gespeicherten Änderungen in diesem Fenster gehen verloren.</translation>
    </message>
</context>
<context>
    <name>TfrmDateDialog</name>
    <message>
        <source>Select Date</source>
        <translation>Datum auswählen</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>TfrmMain</name>
    <message>
        <source>Add User</source>
        <translation>Benutzer hinzufügen</translation>
    </message>
    <message>
        <source>Edit User</source>
        <translation>Benutzer bearbeiten</translation>
    </message>
    <message>
        <source>Enable User</source>
        <translation>Benutzer aktivieren</translation>
    </message>
    <message>
        <source>Enable %1 Users</source>
        <translation>%1 Benutzer aktivieren</translation>
    </message>
    <message>
        <source>Disable User</source>
        <translation>Benutzer deaktivieren</translation>
    </message>
    <message>
        <source>Disable %1 Users</source>
        <translation>%1 Benutzer deaktivieren</translation>
    </message>
    <message>
        <source>Never Expire for User</source>
        <translation>Benutzer läuft nie ab</translation>
    </message>
    <message>
        <source>Never Expire for %1 Users</source>
        <translation>%1 Benutzer laufen nie ab</translation>
    </message>
    <message>
        <source>Set Expiration Date of User</source>
        <translation>Ablaufdatum des Benutzers festlegen</translation>
    </message>
    <message>
        <source>Set Expiration Date of %1 Users</source>
        <translation>Ablaufdatum von %1 Benutzern festlegen</translation>
    </message>
    <message>
        <source>&amp;Undo</source>
        <translation>&amp;Rückgängig</translation>
    </message>
    <message>
        <source>&amp;Redo</source>
        <translation>&amp;Wiederholen</translation>
    </message>
    <message>
        <source>Filter by login, e-mail or full name</source>
        <translation>Nach Anmeldename, E-Mail oder vollständigem Namen filtern</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 von %2</translation>
    </message>
    <message>
        <source>Delete User</source>
        <translation>Benutzer löschen</translation>
    </message>
    <message>
        <source>Delete %1 Users</source>
        <translation>%1 Benutzer löschen</translation>
    </message>
    <message>
        <source>Import User</source>
        <translation>Benutzer importieren</translation>
    </message>
    <message>
        <source>Import %1 Users</source>
        <translation>%1 Benutzer importieren</translation>
    </message>
    <message>
        <source>Create User</source>
        <translation>Benutzer anlegen</translation>
    </message>
    <message>
        <source>Create %1 Users</source>
        <translation>%1 Benutzer anlegen</translation>
    </message>
</context>
<context>
    <name>TfrmOptions</name>
    <message>
        <source>Options</source>
        <translation>Optionen</translation>
    </message>
    <message>
        <source>Default expiration date: Now +  </source>
        <translation>Standard-Ablaufdatum: Heute +  </translation>
    </message>
    <message>
        <source>days</source>
        <translation>Tage</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>TfrmSeriesResult</name>
    <message>
        <source>New Users</source>
        <translation>Neue Benutzer</translation>
    </message>
    <message>
        <source>%1 user(s) created. Hand out these logins and passwords; the database keeps the passwords too.</source>
        <translation>%1 Benutzer angelegt. Geben Sie diese Anmeldenamen und Kennwörter weiter; die Datenbank speichert die Kennwörter ebenfalls.</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
    <message>
        <source>Save As...</source>
        <translation>Speichern unter...</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Text Files (*.txt)</source>
        <translation>Textdateien (*.txt)</translation>
    </message>
    <message>
        <source>All Files (*)</source>
        <translation>Alle Dateien (*)</translation>
    </message>
</context>
<context>
    <name>TfrmUserSeries</name>
    <message>
        <source>Random</source>
        <translation>Zufällig</translation>
    </message>
    <message>
        <source>Upper</source>
        <translation>Groß</translation>
    </message>
    <message>
        <source>Lower</source>
        <translation>Klein</translation>
    </message>
    <message>
        <source>Letter</source>
        <translation>Buchstaben</translation>
    </message>
    <message>
        <source>Numeral</source>
        <translation>Ziffern</translation>
    </message>
    <message>
        <source>User Series</source>
        <translation>Benutzerserie</translation>
    </message>
    <message>
        <source> Case </source>
        <translation> Schreibung </translation>
    </message>
    <message>
        <source> Chars type </source>
        <translation> Zeichenart </translation>
    </message>
    <message>
        <source>Test</source>
        <translation>Testen</translation>
    </message>
    <message>
        <source>Show a sample login and password; nothing is added</source>
        <translation>Zeigt einen Beispiel-Anmeldenamen und ein Beispielkennwort; es wird nichts hinzugefügt</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>User count</source>
        <translation>Anzahl Benutzer</translation>
    </message>
    <message>
        <source>Length</source>
        <translation>Länge</translation>
    </message>
    <message>
        <source> Login </source>
        <translation> Anmeldename </translation>
    </message>
    <message>
        <source> Password </source>
        <translation> Kennwort </translation>
    </message>
    <message>
        <source> Test </source>
        <translation> Test </translation>
    </message>
    <message>
        <source>Login</source>
        <translation>Anmeldename</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Kennwort</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
</context>
<context>
    <name>UiPrompts</name>
    <message>
        <source>Not enough memory to %1.</source>
        <translation>Nicht genug Arbeitsspeicher, um %1.</translation>
    </message>
    <message>
        <source>Confirm</source>
        <translation>Bestätigen</translation>
    </message>
    <message>
        <source>&amp;Overwrite</source>
        <translation>Ü&amp;berschreiben</translation>
    </message>
    <message>
        <source>Save &amp;As…</source>
        <translation>Speichern &amp;unter…</translation>
    </message>
    <message>
        <source>finish the command</source>
        <translation>den Befehl abzuschließen</translation>
    </message>
    <message>
        <source>Unexpected failure</source>
        <translation>Unerwarteter Fehler</translation>
    </message>
</context>
</TS>
