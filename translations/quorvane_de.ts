<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
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
<context>
    <name>quorvane::TAboutForm</name>
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
    <name>quorvane::TFindDialog</name>
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
    <name>quorvane::TUsersModel</name>
    <message>
        <source>Disabled</source>
        <translation>Deaktiviert</translation>
    </message>
    <message>
        <source>Never</source>
        <translation>Nie</translation>
    </message>
    <message>
        <source>Login</source>
        <translation>Anmeldename</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Expiration Date</source>
        <translation>Ablaufdatum</translation>
    </message>
    <message>
        <source>Email</source>
        <translation>E-Mail</translation>
    </message>
    <message>
        <source>Full name</source>
        <translation>Vollständiger Name</translation>
    </message>
    <message>
        <source>Created</source>
        <translation>Angelegt</translation>
    </message>
    <message>
        <source>Enabled</source>
        <translation>Aktiviert</translation>
    </message>
    <message>
        <source>Expired</source>
        <translation>Abgelaufen</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Kennwort</translation>
    </message>
</context>
<context>
    <name>quorvane::TfrmDateDialog</name>
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
    <name>quorvane::TfrmExportUser</name>
    <message>
        <source>Export</source>
        <translation>Exportieren</translation>
    </message>
    <message>
        <source>Password encryption algorithm</source>
        <translation>Verschlüsselungsverfahren der Kennwörter</translation>
    </message>
    <message>
        <source>Web servers on Linux and other Unix systems (Apache, nginx, lighttpd) refuse plain-text password files; they accept them only on Windows.</source>
        <translation>Webserver unter Linux und anderen Unix-Systemen (Apache, nginx, lighttpd) lehnen Kennwortdateien im Klartext ab; nur unter Windows nehmen sie sie an.</translation>
    </message>
    <message>
        <source>To File</source>
        <translation>In Datei</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>Durchsuchen</translation>
    </message>
    <message>
        <source>To FTP Server</source>
        <translation>Auf FTP-Server</translation>
    </message>
    <message>
        <source>Host</source>
        <translation>Host</translation>
    </message>
    <message>
        <source>Passive mode</source>
        <translation>Passiver Modus</translation>
    </message>
    <message>
        <source>Login</source>
        <translation>Benutzername</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Kennwort</translation>
    </message>
    <message>
        <source>Save?</source>
        <translation>Speichern?</translation>
    </message>
    <message>
        <source>Protocol</source>
        <translation>Protokoll</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>Default</source>
        <translation>Standard</translation>
    </message>
    <message>
        <source>Key file</source>
        <translation>Schlüsseldatei</translation>
    </message>
    <message>
        <source>none: log in with the password</source>
        <translation>keine: Anmeldung mit dem Kennwort</translation>
    </message>
    <message>
        <source>Plain FTP sends the password and the password file in clear.</source>
        <translation>Einfaches FTP überträgt das Kennwort und die Kennwortdatei unverschlüsselt.</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>All Files (*)</source>
        <translation>Alle Dateien (*)</translation>
    </message>
    <message>
        <source>%1. Export anyway?</source>
        <translation>%1. Trotzdem exportieren?</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>Confirm</source>
        <translation>Bestätigen</translation>
    </message>
    <message>
        <source>Trust the server whose public key is
%1

Only if its administrator confirms this key. The export is then tried again.</source>
        <translation>Dem Server vertrauen, dessen öffentlicher Schlüssel
%1

lautet? Nur wenn sein Administrator diesen Schlüssel bestätigt. Der Export wird dann erneut versucht.</translation>
    </message>
    <message>
        <source>The server %1 is not known yet. Its host key has the fingerprint
%2

Trust it only if the server&apos;s administrator confirms this fingerprint. Trust this server?</source>
        <translation>Der Server %1 ist noch nicht bekannt. Sein Hostschlüssel hat den Fingerabdruck
%2

Vertrauen Sie ihm nur, wenn der Administrator des Servers diesen Fingerabdruck bestätigt. Diesem Server vertrauen?</translation>
    </message>
    <message>
        <source>Export is not completed. Abort?</source>
        <translation>Der Export ist nicht abgeschlossen. Abbrechen?</translation>
    </message>
</context>
<context>
    <name>quorvane::TfrmMain</name>
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
    <message>
        <source>Do you want to delete &quot;%1&quot;?</source>
        <translation>Möchten Sie „%1“ löschen?</translation>
    </message>
    <message>
        <source>Do you want to delete these %1 users?</source>
        <translation>Möchten Sie diese %1 Benutzer löschen?</translation>
    </message>
    <message>
        <source>Confirm</source>
        <translation>Bestätigen</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>Search is completed</source>
        <translation>Die Suche ist abgeschlossen</translation>
    </message>
    <message>
        <source>Select the expiration date</source>
        <translation>Ablaufdatum auswählen</translation>
    </message>
    <message>
        <source>Users Databases|*.udx|All Files|*.*</source>
        <translation>Benutzerdatenbanken|*.udx|Alle Dateien|*.*</translation>
    </message>
    <message>
        <source>The database has been modified. Do you want to save the changes?</source>
        <translation>Die Datenbank wurde geändert. Möchten Sie die Änderungen speichern?</translation>
    </message>
    <message>
        <source>&amp;New</source>
        <translation>&amp;Neu</translation>
    </message>
    <message>
        <source>&amp;Open...</source>
        <translation>Ö&amp;ffnen...</translation>
    </message>
    <message>
        <source>&amp;Save</source>
        <translation>&amp;Speichern</translation>
    </message>
    <message>
        <source>Save &amp;As...</source>
        <translation>Speichern &amp;unter...</translation>
    </message>
    <message>
        <source>&amp;Import Users...</source>
        <translation>Benutzer &amp;importieren...</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Add User...</source>
        <translation>Benutzer &amp;hinzufügen...</translation>
    </message>
    <message>
        <source>&amp;Edit User...</source>
        <translation>Benutzer &amp;bearbeiten...</translation>
    </message>
    <message>
        <source>&amp;Delete User</source>
        <translation>Benutzer &amp;löschen</translation>
    </message>
    <message>
        <source>&amp;Search...</source>
        <translation>&amp;Suchen...</translation>
    </message>
    <message>
        <source>Select A&amp;ll</source>
        <translation>&amp;Alles auswählen</translation>
    </message>
    <message>
        <source>&amp;All Users</source>
        <translation>&amp;Alle Benutzer</translation>
    </message>
    <message>
        <source>&amp;Enabled Users</source>
        <translation>A&amp;ktivierte Benutzer</translation>
    </message>
    <message>
        <source>&amp;Disabled Users</source>
        <translation>&amp;Deaktivierte Benutzer</translation>
    </message>
    <message>
        <source>Create Users &amp;Series...</source>
        <translation>Benutzer&amp;serie anlegen...</translation>
    </message>
    <message>
        <source>&amp;Export Password File...</source>
        <translation>Kennwortdatei &amp;exportieren...</translation>
    </message>
    <message>
        <source>&amp;Options...</source>
        <translation>&amp;Optionen...</translation>
    </message>
    <message>
        <source>&amp;Help Topics</source>
        <translation>&amp;Hilfethemen</translation>
    </message>
    <message>
        <source>&amp;About...</source>
        <translation>Ü&amp;ber...</translation>
    </message>
    <message>
        <source>&amp;Enable</source>
        <translation>&amp;Aktivieren</translation>
    </message>
    <message>
        <source>&amp;Disable</source>
        <translation>&amp;Deaktivieren</translation>
    </message>
    <message>
        <source>&amp;Never Expire</source>
        <translation>&amp;Nie ablaufen</translation>
    </message>
    <message>
        <source>Set E&amp;xpiration Date...</source>
        <translation>Ablaufdatum &amp;festlegen...</translation>
    </message>
    <message>
        <source>Send &amp;Mail</source>
        <translation>&amp;E-Mail senden</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Reopen</source>
        <translation>&amp;Zuletzt geöffnet</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Ansicht</translation>
    </message>
    <message>
        <source>&amp;Tools</source>
        <translation>E&amp;xtras</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>Tool bar</source>
        <translation>Werkzeugleiste</translation>
    </message>
    <message>
        <source>New</source>
        <translation>Neu</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Add user</source>
        <translation>Benutzer hinzufügen</translation>
    </message>
    <message>
        <source>Delete user</source>
        <translation>Benutzer löschen</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>Exportieren</translation>
    </message>
    <message>
        <source>1 user</source>
        <translation>1 Benutzer</translation>
    </message>
    <message>
        <source>%1 users</source>
        <translation>%1 Benutzer</translation>
    </message>
    <message>
        <source>%1 user(s) (plus %2 hidden)</source>
        <translation>%1 Benutzer (dazu %2 ausgeblendet)</translation>
    </message>
    <message>
        <source>%1 user(s)</source>
        <translation>%1 Benutzer</translation>
    </message>
    <message>
        <source>No users yet — add one, create a series, or import a file</source>
        <translation>Noch keine Benutzer — fügen Sie einen hinzu, legen Sie eine Serie an oder importieren Sie eine Datei</translation>
    </message>
    <message>
        <source>open %1</source>
        <translation>%1 zu öffnen</translation>
    </message>
    <message>
        <source>save %1</source>
        <translation>%1 zu speichern</translation>
    </message>
    <message>
        <source>Modified</source>
        <translation>Geändert</translation>
    </message>
    <message>
        <source>Text Files|*.txt; *.csv|All Files|*.*</source>
        <translation>Textdateien|*.txt; *.csv|Alle Dateien|*.*</translation>
    </message>
    <message>
        <source>%1 imported from %2</source>
        <translation>%1 aus %2 importiert</translation>
    </message>
    <message>
        <source>%1 created</source>
        <translation>%1 angelegt</translation>
    </message>
    <message>
        <source>Undone: %1</source>
        <translation>Rückgängig gemacht: %1</translation>
    </message>
    <message>
        <source>Redone: %1</source>
        <translation>Wiederholt: %1</translation>
    </message>
    <message>
        <source>&amp;Import Password File...</source>
        <translation>&amp;Kennwortdatei importieren...</translation>
    </message>
    <message>
        <source>&amp;Check Password...</source>
        <translation>Kennwort &amp;prüfen...</translation>
    </message>
    <message>
        <source>User &quot;%1&quot; already exists. Replace its password with the one from the file?</source>
        <translation>Benutzer „%1“ existiert bereits. Sein Kennwort durch das aus der Datei ersetzen?</translation>
    </message>
    <message>
        <source>&amp;Replace</source>
        <translation>&amp;Ersetzen</translation>
    </message>
    <message>
        <source>&amp;Skip</source>
        <translation>&amp;Überspringen</translation>
    </message>
    <message>
        <source>&amp;Apply to all</source>
        <translation>Für &amp;alle übernehmen</translation>
    </message>
    <message>
        <source>Import Password File</source>
        <translation>Kennwortdatei importieren</translation>
    </message>
    <message>
        <source>Check Password</source>
        <translation>Kennwort prüfen</translation>
    </message>
    <message>
        <source>Password for user %1:</source>
        <translation>Kennwort für Benutzer %1:</translation>
    </message>
    <message>
        <source>Password for user %1 correct.</source>
        <translation>Kennwort für Benutzer %1 ist richtig.</translation>
    </message>
    <message>
        <source>Password verification failed.</source>
        <translation>Die Kennwortprüfung ist fehlgeschlagen.</translation>
    </message>
</context>
<context>
    <name>quorvane::TfrmOptions</name>
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
    <name>quorvane::TfrmSeriesResult</name>
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
    <message>
        <source>1 user copied</source>
        <translation>1 Benutzer kopiert</translation>
    </message>
    <message>
        <source>%1 users copied</source>
        <translation>%1 Benutzer kopiert</translation>
    </message>
</context>
<context>
    <name>quorvane::TfrmUser</name>
    <message>
        <source>User Properties</source>
        <translation>Benutzereigenschaften</translation>
    </message>
    <message>
        <source>&amp;Disabled</source>
        <translation>&amp;Deaktiviert</translation>
    </message>
    <message>
        <source>E&amp;xpire on</source>
        <translation>&amp;Läuft ab am</translation>
    </message>
    <message>
        <source>&amp;Login</source>
        <translation>&amp;Anmeldename</translation>
    </message>
    <message>
        <source>&amp;Password</source>
        <translation>&amp;Kennwort</translation>
    </message>
    <message>
        <source>&amp;Full Name</source>
        <translation>&amp;Vollständiger Name</translation>
    </message>
    <message>
        <source>&amp;Email</source>
        <translation>&amp;E-Mail</translation>
    </message>
    <message>
        <source>&amp;Comments</source>
        <translation>Kommen&amp;tare</translation>
    </message>
    <message>
        <source>The user has no password: anyone who knows the login gets in. Enter a password, or tick &quot;Disabled&quot;.</source>
        <translation>Der Benutzer hat kein Kennwort: Jeder, der den Anmeldenamen kennt, kommt hinein. Geben Sie ein Kennwort ein oder kreuzen Sie „Deaktiviert“ an.</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>User &quot;%1&quot; already exists</source>
        <translation>Benutzer „%1“ existiert bereits</translation>
    </message>
</context>
<context>
    <name>quorvane::TfrmUserSeries</name>
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
</TS>
