<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>CoreText</name>
    <message>
        <source>Cannot open file %1</source>
        <translation>Die Datei %1 kann nicht geöffnet werden</translation>
    </message>
    <message>
        <source>Cannot create file %1</source>
        <translation>Die Datei %1 kann nicht angelegt werden</translation>
    </message>
    <message>
        <source>Stream read error</source>
        <translation>Fehler beim Lesen des Datenstroms</translation>
    </message>
    <message>
        <source>Stream write error</source>
        <translation>Fehler beim Schreiben des Datenstroms</translation>
    </message>
    <message>
        <source>Invalid stream format</source>
        <translation>Ungültiges Datenstromformat</translation>
    </message>
    <message>
        <source>The file is not valid: it asks for the password form %1, which this version of Quorvane does not know</source>
        <translation>Die Datei ist ungültig: Sie verlangt die Kennwortform %1, die diese Version von Quorvane nicht kennt</translation>
    </message>
    <message>
        <source>The file is not valid</source>
        <translation>Die Datei ist ungültig</translation>
    </message>
    <message>
        <source>The file is read-only</source>
        <translation>Die Datei ist schreibgeschützt</translation>
    </message>
    <message>
        <source>The database is in use by another program</source>
        <translation>Die Datenbank wird von einem anderen Programm verwendet</translation>
    </message>
    <message>
        <source>The system&apos;s random generator is not available</source>
        <translation>Der Zufallsgenerator des Systems ist nicht verfügbar</translation>
    </message>
    <message>
        <source>The owner &quot;%1&quot; of %2 could not be kept; the file now belongs to &quot;%3&quot;</source>
        <translation>Der Eigentümer „%1“ von %2 konnte nicht beibehalten werden; die Datei gehört jetzt „%3“</translation>
    </message>
    <message>
        <source>The group &quot;%1&quot; of %2 could not be kept; the file now has the group &quot;%3&quot;</source>
        <translation>Die Gruppe „%1“ von %2 konnte nicht beibehalten werden; die Datei hat jetzt die Gruppe „%3“</translation>
    </message>
    <message>
        <source>The link %1 belongs to another user in a folder open to everybody; it is not followed and nothing was written</source>
        <translation>Die Verknüpfung %1 gehört einem anderen Benutzer in einem für alle offenen Ordner; ihr wird nicht gefolgt, und es wurde nichts geschrieben</translation>
    </message>
    <message>
        <source>The password file %1 would replace the database itself; choose another file</source>
        <translation>Die Kennwortdatei %1 würde die Datenbank selbst ersetzen; wählen Sie eine andere Datei</translation>
    </message>
    <message>
        <source>The login is empty. Enter a login for the user.</source>
        <translation>Der Anmeldename ist leer. Geben Sie einen Anmeldenamen für den Benutzer ein.</translation>
    </message>
    <message>
        <source>The login contains a colon (&quot;:&quot;). Web servers end the login at the first colon, so remove it from the login.</source>
        <translation>Der Anmeldename enthält einen Doppelpunkt („:“). Webserver beenden den Anmeldenamen am ersten Doppelpunkt; entfernen Sie ihn daher aus dem Anmeldenamen.</translation>
    </message>
    <message>
        <source>The login contains a control character (such as a tab, a line break or a NUL). Remove it from the login.</source>
        <translation>Der Anmeldename enthält ein Steuerzeichen (etwa einen Tabulator, einen Zeilenumbruch oder ein NUL). Entfernen Sie es aus dem Anmeldenamen.</translation>
    </message>
    <message>
        <source>The login starts with &quot;#&quot;. Web servers read such a line of the password file as a comment, so this user will not be able to log in.</source>
        <translation>Der Anmeldename beginnt mit „#“. Webserver lesen eine solche Zeile der Kennwortdatei als Kommentar; dieser Benutzer wird sich daher nicht anmelden können.</translation>
    </message>
    <message>
        <source>The login must not be blank</source>
        <translation>Der Anmeldename darf nicht leer sein</translation>
    </message>
    <message>
        <source>User &quot;%1&quot; already exists</source>
        <translation>Der Benutzer „%1“ ist bereits vorhanden</translation>
    </message>
    <message>
        <source>Only %1 users has been created. Increase the login length to create more.</source>
        <translation>Es wurden nur %1 Benutzer angelegt. Erhöhen Sie die Länge des Anmeldenamens, um mehr anzulegen.</translation>
    </message>
    <message>
        <source>The series made an empty password</source>
        <translation>Die Serie hat ein leeres Kennwort erzeugt</translation>
    </message>
    <message>
        <source>Nothing was imported: line %1 of the file holds a login that cannot be used. %2 Other lines with such a login: %3. Correct the file and import it again.</source>
        <translation>Es wurde nichts importiert: Zeile %1 der Datei enthält einen unbrauchbaren Anmeldenamen. %2 Weitere Zeilen mit einem solchen Anmeldenamen: %3. Korrigieren Sie die Datei und importieren Sie sie erneut.</translation>
    </message>
    <message>
        <source>Nothing was imported: line %1 of the file holds a login that cannot be used. %2 Correct the file and import it again.</source>
        <translation>Es wurde nichts importiert: Zeile %1 der Datei enthält einen unbrauchbaren Anmeldenamen. %2 Korrigieren Sie die Datei und importieren Sie sie erneut.</translation>
    </message>
    <message>
        <source>Line %1 of the password file is not login:password; nothing was imported</source>
        <translation>Zeile %1 der Kennwortdatei hat nicht die Form Anmeldename:Kennwort; es wurde nichts importiert</translation>
    </message>
    <message>
        <source>Line %1 of the password file has a login that cannot be used: %2; nothing was imported</source>
        <translation>Zeile %1 der Kennwortdatei hat einen unbrauchbaren Anmeldenamen: %2; es wurde nichts importiert</translation>
    </message>
    <message>
        <source>Line %1 of the password file holds a control character in its password; nothing was imported</source>
        <translation>Zeile %1 der Kennwortdatei enthält ein Steuerzeichen im Kennwort; es wurde nichts importiert</translation>
    </message>
    <message>
        <source>Plain text</source>
        <translation>Klartext</translation>
    </message>
    <message>
        <source>The bcrypt cost must be from %1 to %2</source>
        <translation>Der bcrypt-Aufwand muss zwischen %1 und %2 liegen</translation>
    </message>
    <message>
        <source>The SHA-crypt rounds must be from %1 to %2</source>
        <translation>Die SHA-crypt-Runden müssen zwischen %1 und %2 liegen</translation>
    </message>
    <message>
        <source>The SHA-256-crypt rounds must be from %1 to %2</source>
        <translation>Die SHA-256-crypt-Runden müssen zwischen %1 und %2 liegen</translation>
    </message>
    <message>
        <source>The SHA-512-crypt rounds must be from %1 to %2</source>
        <translation>Die SHA-512-crypt-Runden müssen zwischen %1 und %2 liegen</translation>
    </message>
    <message>
        <source>A password with a zero byte cannot be hashed with bcrypt or SHA-crypt</source>
        <translation>Ein Kennwort mit einem Nullbyte kann nicht mit bcrypt oder SHA-crypt gehasht werden</translation>
    </message>
    <message>
        <source>The system&apos;s crypt does not accept the setting %1</source>
        <translation>Die crypt-Funktion des Systems nimmt die Einstellung %1 nicht an</translation>
    </message>
    <message>
        <source>The system&apos;s crypt cannot make a salt for %1</source>
        <translation>Die crypt-Funktion des Systems kann kein Salt für %1 erzeugen</translation>
    </message>
    <message>
        <source>The stored password hash of %1 holds a line break or a NUL byte and cannot go into the password file</source>
        <translation>Der gespeicherte Kennwort-Hash von %1 enthält einen Zeilenumbruch oder ein NUL-Byte und kann nicht in die Kennwortdatei</translation>
    </message>
    <message>
        <source>A plain-text password file cannot hold users known only by their password hash: %1. Give them new passwords or export in another form</source>
        <translation>Eine Klartext-Kennwortdatei kann keine Benutzer aufnehmen, von denen nur der Kennwort-Hash bekannt ist: %1. Geben Sie ihnen neue Kennwörter oder exportieren Sie in einer anderen Form</translation>
    </message>
    <message>
        <source>Anyone who knows these logins gets in without a password: %1</source>
        <translation>Wer diese Anmeldenamen kennt, kommt ohne Kennwort hinein: %1</translation>
    </message>
    <message>
        <source>These users cannot go into the password file safely: %1. Correct or disable them, then export again.</source>
        <translation>Diese Benutzer können nicht sicher in die Kennwortdatei geschrieben werden: %1. Korrigieren oder deaktivieren Sie sie und exportieren Sie dann erneut.</translation>
    </message>
    <message>
        <source>The database names no FTP server</source>
        <translation>Die Datenbank nennt keinen FTP-Server</translation>
    </message>
    <message>
        <source>The database names no password file on the FTP server</source>
        <translation>Die Datenbank nennt keine Kennwortdatei auf dem FTP-Server</translation>
    </message>
    <message>
        <source>1 user still uses a weak hash: set a new password for it</source>
        <translation>1 Benutzer verwendet noch einen schwachen Hash: Vergeben Sie ihm ein neues Kennwort</translation>
    </message>
    <message>
        <source>%1 users still use weak hashes: set new passwords for them</source>
        <translation>%1 Benutzer verwenden noch schwache Hashes: Vergeben Sie ihnen neue Kennwörter</translation>
    </message>
    <message>
        <source>hash only (%1)</source>
        <translation>nur Hash (%1)</translation>
    </message>
    <message>
        <source>%1 for 1 user; later exports reuse unchanged hashes</source>
        <translation>%1 für 1 Benutzer; spätere Exporte verwenden unveränderte Hashes wieder</translation>
    </message>
    <message>
        <source>%1 for %2 users; later exports reuse unchanged hashes</source>
        <translation>%1 für %2 Benutzer; spätere Exporte verwenden unveränderte Hashes wieder</translation>
    </message>
    <message>
        <source>each page request costs the server %1</source>
        <translation>jeder Seitenabruf kostet den Server %1</translation>
    </message>
    <message>
        <source>less than 1 ms</source>
        <translation>weniger als 1 ms</translation>
    </message>
    <message>
        <source>about %1 ms</source>
        <translation>etwa %1 ms</translation>
    </message>
    <message>
        <source>about %1 s</source>
        <translation>etwa %1 s</translation>
    </message>
    <message>
        <source>about %1 min</source>
        <translation>etwa %1 min</translation>
    </message>
    <message>
        <source>about %1 h</source>
        <translation>etwa %1 h</translation>
    </message>
    <message>
        <source>FTP over TLS (implicit)</source>
        <translation>FTP über TLS (implizit)</translation>
    </message>
    <message>
        <source>FTP over TLS</source>
        <translation>FTP über TLS</translation>
    </message>
    <message>
        <source>Upload of %1 failed: the server stored %2 of %3 bytes; the old file was kept</source>
        <translation>Das Hochladen von %1 ist fehlgeschlagen: Der Server hat %2 von %3 Bytes gespeichert; die alte Datei wurde behalten</translation>
    </message>
    <message>
        <source>Upload of %1 failed: %2</source>
        <translation>Das Hochladen von %1 ist fehlgeschlagen: %2</translation>
    </message>
    <message>
        <source>Upload of %1 was aborted</source>
        <translation>Das Hochladen von %1 wurde abgebrochen</translation>
    </message>
    <message>
        <source>Could not rename %1 to %2: %3</source>
        <translation>%1 konnte nicht in %2 umbenannt werden: %3</translation>
    </message>
    <message>
        <source>Could not connect to %1: %2</source>
        <translation>Keine Verbindung zu %1 möglich: %2</translation>
    </message>
    <message>
        <source>Login to %1 as %2 failed: %3</source>
        <translation>Die Anmeldung bei %1 als %2 ist fehlgeschlagen: %3</translation>
    </message>
    <message>
        <source>The host holds a line break or NUL character; nothing was sent to the server</source>
        <translation>Der Host enthält einen Zeilenumbruch oder ein NUL-Zeichen; es wurde nichts an den Server gesendet</translation>
    </message>
    <message>
        <source>The login holds a line break or NUL character; nothing was sent to the server</source>
        <translation>Der Anmeldename enthält einen Zeilenumbruch oder ein NUL-Zeichen; es wurde nichts an den Server gesendet</translation>
    </message>
    <message>
        <source>The password holds a line break or NUL character; nothing was sent to the server</source>
        <translation>Das Kennwort enthält einen Zeilenumbruch oder ein NUL-Zeichen; es wurde nichts an den Server gesendet</translation>
    </message>
    <message>
        <source>The remote file name holds a line break or NUL character; nothing was sent to the server</source>
        <translation>Der Name der Datei auf dem Server enthält einen Zeilenumbruch oder ein NUL-Zeichen; es wurde nichts an den Server gesendet</translation>
    </message>
    <message>
        <source>the login or password holds a line break or NUL</source>
        <translation>Anmeldename oder Kennwort enthalten einen Zeilenumbruch oder ein NUL</translation>
    </message>
    <message>
        <source>not a valid host name</source>
        <translation>kein gültiger Hostname</translation>
    </message>
    <message>
        <source>host not found</source>
        <translation>Host nicht gefunden</translation>
    </message>
    <message>
        <source>Connection refused</source>
        <translation>Verbindung abgelehnt</translation>
    </message>
    <message>
        <source>Connection timed out</source>
        <translation>Zeitüberschreitung der Verbindung</translation>
    </message>
    <message>
        <source>Network is unreachable</source>
        <translation>Netzwerk nicht erreichbar</translation>
    </message>
    <message>
        <source>No route to host</source>
        <translation>Keine Route zum Host</translation>
    </message>
    <message>
        <source>the server did not answer in time</source>
        <translation>der Server hat nicht rechtzeitig geantwortet</translation>
    </message>
    <message>
        <source>the connection was lost</source>
        <translation>die Verbindung ging verloren</translation>
    </message>
    <message>
        <source>the server refused the login</source>
        <translation>der Server hat die Anmeldung abgelehnt</translation>
    </message>
    <message>
        <source>the server does not offer TLS</source>
        <translation>der Server bietet kein TLS an</translation>
    </message>
    <message>
        <source>the TLS handshake failed</source>
        <translation>der TLS-Handshake ist fehlgeschlagen</translation>
    </message>
    <message>
        <source>aborted</source>
        <translation>abgebrochen</translation>
    </message>
    <message>
        <source>Unknown error</source>
        <translation>Unbekannter Fehler</translation>
    </message>
    <message>
        <source>Not connected</source>
        <translation>Nicht verbunden</translation>
    </message>
    <message>
        <source>Invalid remote file name</source>
        <translation>Ungültiger Dateiname auf dem Server</translation>
    </message>
    <message>
        <source>WARNING: the host key of %1 has CHANGED. The server now shows the key %2, not the one on record: someone may be listening in. Nothing was sent. Check the key with the server&apos;s administrator before you trust it.</source>
        <translation>WARNUNG: Der Hostschlüssel von %1 hat sich GEÄNDERT. Der Server zeigt jetzt den Schlüssel %2, nicht den gespeicherten: Jemand könnte mithören. Es wurde nichts gesendet. Prüfen Sie den Schlüssel mit dem Administrator des Servers, bevor Sie ihm vertrauen.</translation>
    </message>
    <message>
        <source>The host key of %1 is not known. Its fingerprint is %2; accept it only if the server&apos;s administrator confirms it.</source>
        <translation>Der Hostschlüssel von %1 ist nicht bekannt. Sein Fingerabdruck ist %2; nehmen Sie ihn nur an, wenn der Administrator des Servers ihn bestätigt.</translation>
    </message>
    <message>
        <source>The public key of %1 is %2, not the pinned %3. Nothing was sent.</source>
        <translation>Der öffentliche Schlüssel von %1 ist %2, nicht der festgelegte %3. Es wurde nichts gesendet.</translation>
    </message>
    <message>
        <source>The certificate of %1 could not be verified (%2). The server&apos;s public key is %3; pin it only if you know it belongs to this server.</source>
        <translation>Das Zertifikat von %1 konnte nicht geprüft werden (%2). Der öffentliche Schlüssel des Servers ist %3; legen Sie ihn nur fest, wenn Sie wissen, dass er zu diesem Server gehört.</translation>
    </message>
    <message>
        <source>The certificate of %1 could not be verified (%2).</source>
        <translation>Das Zertifikat von %1 konnte nicht geprüft werden (%2).</translation>
    </message>
    <message>
        <source>Creating passwords file - %1% completed</source>
        <translation>Kennwortdatei wird erstellt - %1 % abgeschlossen</translation>
    </message>
    <message>
        <source>The export failed: %1</source>
        <translation>Der Export ist fehlgeschlagen: %1</translation>
    </message>
    <message>
        <source>Connecting to %1...</source>
        <translation>Verbindung zu %1 wird hergestellt...</translation>
    </message>
    <message>
        <source>Uploading %1 - %2% completed</source>
        <translation>%1 wird hochgeladen - %2 % abgeschlossen</translation>
    </message>
    <message>
        <source>1 user written to %1</source>
        <translation>1 Benutzer in %1 geschrieben</translation>
    </message>
    <message>
        <source>%1 users written to %2</source>
        <translation>%1 Benutzer in %2 geschrieben</translation>
    </message>
    <message>
        <source>1 user added, %1 replaced, %2 skipped.</source>
        <translation>1 Benutzer hinzugefügt, %1 ersetzt, %2 übersprungen.</translation>
    </message>
    <message>
        <source>%1 users added, %2 replaced, %3 skipped.</source>
        <translation>%1 Benutzer hinzugefügt, %2 ersetzt, %3 übersprungen.</translation>
    </message>
    <message>
        <source> 1 of them uses a weak scheme (SHA-1, DES crypt or plain text): set new passwords for it.</source>
        <translation> 1 davon verwendet ein schwaches Verfahren (SHA-1, DES-crypt oder Klartext): Vergeben Sie ihm ein neues Kennwort.</translation>
    </message>
    <message>
        <source> %1 of them use a weak scheme (SHA-1, DES crypt or plain text): set new passwords for them.</source>
        <translation> %1 davon verwenden ein schwaches Verfahren (SHA-1, DES-crypt oder Klartext): Vergeben Sie ihnen neue Kennwörter.</translation>
    </message>
    <message>
        <source>user %1 &quot;%2&quot; (%3)</source>
        <translation>Benutzer %1 „%2“ (%3)</translation>
    </message>
    <message>
        <source>the login is empty</source>
        <translation>der Anmeldename ist leer</translation>
    </message>
    <message>
        <source>the login holds a colon</source>
        <translation>der Anmeldename enthält einen Doppelpunkt</translation>
    </message>
    <message>
        <source>the login holds a control character</source>
        <translation>der Anmeldename enthält ein Steuerzeichen</translation>
    </message>
    <message>
        <source>the password holds a line break or a NUL and cannot be written as plain text</source>
        <translation>das Kennwort enthält einen Zeilenumbruch oder ein NUL und kann nicht als Klartext geschrieben werden</translation>
    </message>
    <message>
        <source>the password holds a NUL, which bcrypt and SHA-crypt cannot hash</source>
        <translation>das Kennwort enthält ein NUL, das bcrypt und SHA-crypt nicht hashen können</translation>
    </message>
    <message>
        <source>  %1 (%2)</source>
        <translation>  %1 (%2)</translation>
    </message>
    <message>
        <source>plain text</source>
        <translation>Klartext</translation>
    </message>
    <message>
        <source>MD5 crypt</source>
        <translation>MD5-crypt</translation>
    </message>
    <message>
        <source>DES crypt</source>
        <translation>DES-crypt</translation>
    </message>
    <message>
        <source>%1 and %2 more</source>
        <translation>%1 und %2 weitere</translation>
    </message>
    <message>
        <source>Could not load the program part %1: %2</source>
        <translation>Der Programmteil %1 konnte nicht geladen werden: %2</translation>
    </message>
    <message>
        <source>Could not read %1 to compare it before replacing it: %2</source>
        <translation>%1 konnte vor dem Ersetzen nicht zum Vergleich gelesen werden: %2</translation>
    </message>
    <message>
        <source>the file on the server is larger than %1 bytes</source>
        <translation>die Datei auf dem Server ist größer als %1 Bytes</translation>
    </message>
    <message>
        <source>Could not keep a copy of the file about to be replaced in %1: %2; nothing was replaced</source>
        <translation>Von der Datei, die ersetzt werden sollte, konnte keine Kopie in %1 aufbewahrt werden: %2; es wurde nichts ersetzt</translation>
    </message>
    <message>
        <source>%1 changed while the export ran; nothing was replaced. Export again to see what changed</source>
        <translation>%1 hat sich während des Exports geändert; es wurde nichts ersetzt. Exportieren Sie erneut, um zu sehen, was sich geändert hat</translation>
    </message>
    <message>
        <source>%1 is larger than 1 GiB; it is not read, compared or replaced</source>
        <translation>%1 ist größer als 1 GiB; die Datei wird weder gelesen noch verglichen noch ersetzt</translation>
    </message>
    <message>
        <source>Upload of %1 failed: the server does not tell the size of the uploaded file, so it cannot be checked; the old file was kept</source>
        <translation>Das Hochladen von %1 ist fehlgeschlagen: Der Server nennt die Größe der hochgeladenen Datei nicht, sie lässt sich also nicht prüfen; die alte Datei wurde behalten</translation>
    </message>
    <message>
        <source>Export aborted; the server&apos;s file was not changed</source>
        <translation>Export abgebrochen; die Datei auf dem Server wurde nicht geändert</translation>
    </message>
    <message>
        <source>The partial upload %1 could not be removed from the server</source>
        <translation>Die unvollständig hochgeladene Datei %1 konnte nicht vom Server entfernt werden</translation>
    </message>
    <message>
        <source>the key file %1 could not be read (a wrong passphrase, or not a private key)</source>
        <translation>die Schlüsseldatei %1 konnte nicht gelesen werden (eine falsche Passphrase, oder kein privater Schlüssel)</translation>
    </message>
    <message>
        <source>the server refused the key</source>
        <translation>der Server hat den Schlüssel abgelehnt</translation>
    </message>
    <message>
        <source>the server showed no host key</source>
        <translation>der Server hat keinen Hostschlüssel gezeigt</translation>
    </message>
    <message>
        <source>the server offers no SFTP</source>
        <translation>der Server bietet kein SFTP an</translation>
    </message>
    <message>
        <source>the server refused it</source>
        <translation>der Server hat es abgelehnt</translation>
    </message>
    <message>
        <source>the server does not support this</source>
        <translation>der Server unterstützt das nicht</translation>
    </message>
    <message>
        <source>the server&apos;s disk is full</source>
        <translation>der Datenträger des Servers ist voll</translation>
    </message>
    <message>
        <source>the quota on the server is exceeded</source>
        <translation>das Kontingent auf dem Server ist überschritten</translation>
    </message>
    <message>
        <source>the file exists</source>
        <translation>die Datei ist schon vorhanden</translation>
    </message>
    <message>
        <source>the local file could not be read</source>
        <translation>die lokale Datei konnte nicht gelesen werden</translation>
    </message>
    <message>
        <source>No such file or directory</source>
        <translation>Datei oder Verzeichnis nicht gefunden</translation>
    </message>
    <message>
        <source>Permission denied</source>
        <translation>Keine Berechtigung</translation>
    </message>
    <message>
        <source>WARNING: the host key of %1 has CHANGED from the trusted one (%2). The server now shows the key %3: someone may be listening in. Nothing was sent. Check the key with the server&apos;s administrator before you trust it.</source>
        <translation>WARNUNG: Der Hostschlüssel von %1 hat sich gegenüber dem vertrauten (%2) GEÄNDERT. Der Server zeigt jetzt den Schlüssel %3: Jemand könnte mithören. Es wurde nichts gesendet. Prüfen Sie den Schlüssel mit dem Administrator des Servers, bevor Sie ihm vertrauen.</translation>
    </message>
    <message>
        <source>The database %1 could be read by other users (mode %2); it holds clear passwords and is now saved with mode %3</source>
        <translation>Die Datenbank %1 war für andere Benutzer lesbar (Modus %2); sie enthält Kennwörter im Klartext und wird jetzt mit Modus %3 gespeichert</translation>
    </message>
    <message>
        <source>%1 is not a regular file</source>
        <translation>%1 ist keine gewöhnliche Datei</translation>
    </message>
    <message>
        <source>Line %1 of %2 is longer than 64 KiB</source>
        <translation>Zeile %1 von %2 ist länger als 64 KiB</translation>
    </message>
    <message>
        <source>The lock file %1 is not a regular file and cannot be removed; remove it</source>
        <translation>Die Sperrdatei %1 ist keine gewöhnliche Datei und kann nicht entfernt werden; entfernen Sie sie</translation>
    </message>
    <message>
        <source>The password is longer than %1 bytes, the most a password may have</source>
        <translation>Das Kennwort ist länger als %1 Bytes, die ein Kennwort höchstens haben darf</translation>
    </message>
    <message>
        <source>Nothing was imported: line %1 of the file: %2. Correct the file and import it again.</source>
        <translation>Es wurde nichts importiert: Zeile %1 der Datei: %2. Korrigieren Sie die Datei und importieren Sie sie erneut.</translation>
    </message>
    <message>
        <source>1 login was already there and was skipped: %1</source>
        <translation>1 Anmeldename war bereits vorhanden und wurde übersprungen: %1</translation>
    </message>
    <message>
        <source>%1 logins were already there and were skipped: %2</source>
        <translation>%1 Anmeldenamen waren bereits vorhanden und wurden übersprungen: %2</translation>
    </message>
    <message>
        <source>1 login was already there: %1</source>
        <translation>1 Anmeldename war bereits vorhanden: %1</translation>
    </message>
    <message>
        <source>%1 logins were already there: %2</source>
        <translation>%1 Anmeldenamen waren bereits vorhanden: %2</translation>
    </message>
    <message>
        <source>Line %1 of the password file holds a password longer than %2 bytes, the most a password may have; nothing was imported</source>
        <translation>Zeile %1 der Kennwortdatei enthält ein Kennwort, das länger als %2 Bytes ist, die ein Kennwort höchstens haben darf; es wurde nichts importiert</translation>
    </message>
    <message>
        <source>The file does not look like a password file: it holds binary data; nothing was imported</source>
        <translation>Die Datei sieht nicht wie eine Kennwortdatei aus: Sie enthält Binärdaten; es wurde nichts importiert</translation>
    </message>
    <message>
        <source>The file does not look like a password file: most of its lines have a number after the second colon, as the system&apos;s account files (/etc/passwd, /etc/shadow, /etc/group) have; nothing was imported</source>
        <translation>Die Datei sieht nicht wie eine Kennwortdatei aus: Die meisten ihrer Zeilen haben nach dem zweiten Doppelpunkt eine Zahl, wie die Kontendateien des Systems (/etc/passwd, /etc/shadow, /etc/group); es wurde nichts importiert</translation>
    </message>
    <message>
        <source>the password is longer than 4096 bytes, the most a password may have</source>
        <translation>das Kennwort ist länger als 4096 Bytes, die ein Kennwort höchstens haben darf</translation>
    </message>
    <message>
        <source>%1 left out: the later %2 is written</source>
        <translation>%1 ausgelassen: Der spätere %2 wird geschrieben</translation>
    </message>
    <message>
        <source>%1 left out: the later %2 is disabled</source>
        <translation>%1 ausgelassen: Der spätere %2 ist deaktiviert</translation>
    </message>
    <message>
        <source>unknown scheme (%1)</source>
        <translation>unbekanntes Verfahren (%1)</translation>
    </message>
    <message>
        <source>locked</source>
        <translation>gesperrt</translation>
    </message>
    <message>
        <source>no prefix</source>
        <translation>kein Präfix</translation>
    </message>
    <message>
        <source>salted SHA-1</source>
        <translation>gesalzenes SHA-1</translation>
    </message>
    <message>
        <source>line %1 &quot;%2&quot; (like &quot;%3&quot; in the database)</source>
        <translation>Zeile %1 „%2“ (wie „%3“ in der Datenbank)</translation>
    </message>
    <message>
        <source>line %1 &quot;%2&quot; (like line %3 &quot;%4&quot;)</source>
        <translation>Zeile %1 „%2“ (wie Zeile %3 „%4“)</translation>
    </message>
    <message>
        <source>line %1 &quot;%2&quot;</source>
        <translation>Zeile %1 „%2“</translation>
    </message>
    <message>
        <source>Skipped, as the login is there already (letters a to z without regard to case): %1</source>
        <translation>Übersprungen, da der Anmeldename schon vorhanden ist (Buchstaben a bis z ohne Beachtung der Groß-/Kleinschreibung): %1</translation>
    </message>
    <message>
        <source>Replaced, as the login was there already (letters a to z without regard to case): %1</source>
        <translation>Ersetzt, da der Anmeldename schon vorhanden war (Buchstaben a bis z ohne Beachtung der Groß-/Kleinschreibung): %1</translation>
    </message>
    <message>
        <source>Locked, and kept locked: %1</source>
        <translation>Gesperrt und gesperrt gelassen: %1</translation>
    </message>
    <message>
        <source>Kept exactly as they were, in a scheme Quorvane does not know: %1</source>
        <translation>Genau so übernommen, wie sie waren, in einem Verfahren, das Quorvane nicht kennt: %1</translation>
    </message>
    <message>
        <source>Cannot create file %1: the folder %2 does not exist</source>
        <translation>Die Datei %1 kann nicht angelegt werden: Der Ordner %2 existiert nicht</translation>
    </message>
    <message>
        <source>Cannot create file %1: %2 is not a folder</source>
        <translation>Die Datei %1 kann nicht angelegt werden: %2 ist kein Ordner</translation>
    </message>
    <message>
        <source>Cannot create file %1: no permission to write in the folder %2</source>
        <translation>Die Datei %1 kann nicht angelegt werden: Keine Berechtigung, in den Ordner %2 zu schreiben</translation>
    </message>
    <message>
        <source>Cannot create file %1: the disk is full</source>
        <translation>Die Datei %1 kann nicht angelegt werden: Der Datenträger ist voll</translation>
    </message>
    <message>
        <source>Cannot create file %1: the disk quota is used up</source>
        <translation>Die Datei %1 kann nicht angelegt werden: Das Speicherkontingent ist aufgebraucht</translation>
    </message>
    <message>
        <source>Cannot create file %1: the file system is read-only</source>
        <translation>Die Datei %1 kann nicht angelegt werden: Das Dateisystem ist schreibgeschützt</translation>
    </message>
    <message>
        <source>Cannot create file %1: it is a folder</source>
        <translation>Die Datei %1 kann nicht angelegt werden: Es ist ein Ordner</translation>
    </message>
    <message>
        <source>Cannot write file %1: the disk is full</source>
        <translation>Die Datei %1 kann nicht geschrieben werden: Der Datenträger ist voll</translation>
    </message>
    <message>
        <source>Cannot write file %1: the disk quota is used up</source>
        <translation>Die Datei %1 kann nicht geschrieben werden: Das Speicherkontingent ist aufgebraucht</translation>
    </message>
    <message>
        <source>The group name &quot;%1&quot; may not hold &quot;:&quot;, &quot;,&quot;, a blank or a control character</source>
        <translation>Der Gruppenname „%1“ darf kein „:“, kein „,“, kein Leerzeichen und kein Steuerzeichen enthalten</translation>
    </message>
    <message>
        <source>The groups of %1: %2</source>
        <translation>Die Gruppen von %1: %2</translation>
    </message>
    <message>
        <source>The login %1 holds a blank, a quote or a backslash and cannot go into the group file</source>
        <translation>Der Anmeldename %1 enthält ein Leerzeichen, ein Anführungszeichen oder einen umgekehrten Schrägstrich und kann nicht in die Gruppendatei</translation>
    </message>
    <message>
        <source>The group file cannot be the password file itself</source>
        <translation>Die Gruppendatei kann nicht die Kennwortdatei selbst sein</translation>
    </message>
    <message>
        <source>This database knows no password to send for: %1</source>
        <translation>Diese Datenbank kennt kein Kennwort, das sie senden könnte, für: %1</translation>
    </message>
    <message>
        <source>The e-mail address or full name of &quot;%1&quot; holds a line break or another control character</source>
        <translation>Die E-Mail-Adresse oder der vollständige Name von „%1“ enthält einen Zeilenumbruch oder ein anderes Steuerzeichen</translation>
    </message>
    <message>
        <source>The template&apos;s %1 line for &quot;%2&quot; would hold a line break or another control character</source>
        <translation>Die Zeile %1 der Vorlage würde für „%2“ einen Zeilenumbruch oder ein anderes Steuerzeichen enthalten</translation>
    </message>
    <message>
        <source>The template&apos;s header line &quot;%1&quot; is not &quot;Name: value&quot;</source>
        <translation>Die Kopfzeile „%1“ der Vorlage hat nicht die Form „Name: Wert“</translation>
    </message>
    <message>
        <source>The sender&apos;s address holds a line break or another control character</source>
        <translation>Die Adresse des Absenders enthält einen Zeilenumbruch oder ein anderes Steuerzeichen</translation>
    </message>
    <message>
        <source>Cannot create folder %1</source>
        <translation>Der Ordner %1 kann nicht angelegt werden</translation>
    </message>
    <message>
        <source>%1 is not the address of a store: give sqlite:FILE, postgresql://HOST/DATABASE, ldap://HOST/BASE-DN or ldaps://HOST/BASE-DN</source>
        <translation>%1 ist keine Adresse eines Speichers: Geben Sie sqlite:DATEI, postgresql://HOST/DATENBANK, ldap://HOST/BASIS-DN oder ldaps://HOST/BASIS-DN an</translation>
    </message>
    <message>
        <source>Could not open %1: %2</source>
        <translation>%1 konnte nicht geöffnet werden: %2</translation>
    </message>
    <message>
        <source>%1 refused the change; nothing was changed: %2</source>
        <translation>%1 hat die Änderung abgelehnt; nichts wurde geändert: %2</translation>
    </message>
    <message>
        <source>%1 already holds the login %2 for another owner (%3); nothing was changed</source>
        <translation>%1 enthält den Anmeldenamen %2 bereits für einen anderen Eigentümer (%3); nichts wurde geändert</translation>
    </message>
    <message>
        <source>%1 already holds an entry %2 that this database did not make; nothing was changed</source>
        <translation>%1 enthält bereits einen Eintrag %2, den diese Datenbank nicht angelegt hat; nichts wurde geändert</translation>
    </message>
    <message>
        <source>A directory checks passwords with the system&apos;s crypt, which does not know the hash of %1 (%2); export to it with bcrypt or SHA-crypt</source>
        <translation>Ein Verzeichnis prüft Kennwörter mit dem crypt des Systems, das den Hash von %1 (%2) nicht kennt; exportieren Sie dorthin mit bcrypt oder SHA-crypt</translation>
    </message>
    <message>
        <source>%1 does not offer TLS (StartTLS): %2; nothing was sent. Use an ldaps:// address or a server with TLS</source>
        <translation>%1 bietet kein TLS (StartTLS) an: %2; nichts wurde gesendet. Verwenden Sie eine ldaps://-Adresse oder einen Server mit TLS</translation>
    </message>
    <message>
        <source>%1 refused the change of %2: %3. The %4 changes made before it were undone; the directory is as it was</source>
        <translation>%1 hat die Änderung von %2 abgelehnt: %3. Die %4 Änderungen davor wurden rückgängig gemacht; das Verzeichnis ist wie zuvor</translation>
    </message>
    <message>
        <source>%1 refused the change of %2: %3. Putting back %4 failed too (%5): check the directory</source>
        <translation>%1 hat die Änderung von %2 abgelehnt: %3. Auch das Wiederherstellen von %4 schlug fehl (%5): Prüfen Sie das Verzeichnis</translation>
    </message>
    <message>
        <source>The password hash of %1 cannot go into %2: it holds a line break or a NUL</source>
        <translation>Der Kennwort-Hash von %1 kann nicht nach %2: Er enthält einen Zeilenumbruch oder ein NUL</translation>
    </message>
    <message>
        <source>%1</source>
        <translation>%1</translation>
    </message>
    <message>
        <source>SFTP goes through its own transport, not the FTP client</source>
        <translation>SFTP läuft über einen eigenen Transport, nicht über den FTP-Client</translation>
    </message>
    <message>
        <source>Unknown upload protocol &quot;%1&quot;; this version knows ftp, ftpes, ftps and sftp</source>
        <translation>Unbekanntes Upload-Protokoll „%1“; diese Version kennt ftp, ftpes, ftps und sftp</translation>
    </message>
    <message>
        <source>FTP</source>
        <translation>FTP</translation>
    </message>
    <message>
        <source>SFTP</source>
        <translation>SFTP</translation>
    </message>
    <message>
        <source>The URL holds a line break or NUL character</source>
        <translation>Die URL enthält einen Zeilenumbruch oder ein NUL-Zeichen</translation>
    </message>
    <message>
        <source>Not a server URL: %1 (use ftp://, ftpes://, ftps:// or sftp://)</source>
        <translation>Keine Server-URL: %1 (verwenden Sie ftp://, ftpes://, ftps:// oder sftp://)</translation>
    </message>
    <message>
        <source>Unknown protocol %1:// (use ftp://, ftpes://, ftps:// or sftp://)</source>
        <translation>Unbekanntes Protokoll %1:// (verwenden Sie ftp://, ftpes://, ftps:// oder sftp://)</translation>
    </message>
    <message>
        <source>The URL names no valid server: %1</source>
        <translation>Die URL nennt keinen gültigen Server: %1</translation>
    </message>
    <message>
        <source>Give the password with --password-stdin, not in the URL</source>
        <translation>Geben Sie das Kennwort mit --password-stdin an, nicht in der URL</translation>
    </message>
    <message>
        <source>A server URL names a file, without &quot;?&quot; or &quot;#&quot; parts: %1 (write them as %3F and %23 in a file name)</source>
        <translation>Eine Server-URL nennt eine Datei, ohne „?“- oder „#“-Teile: %1 (schreiben Sie sie in einem Dateinamen als %3F und %23)</translation>
    </message>
    <message>
        <source>The URL names no file on the server: %1</source>
        <translation>Die URL nennt keine Datei auf dem Server: %1</translation>
    </message>
    <message>
        <source>The site let user %1 in (HTTP %2).</source>
        <translation>Die Website hat Benutzer %1 hereingelassen (HTTP %2).</translation>
    </message>
    <message>
        <source>The site refused user %1 (HTTP %2).</source>
        <translation>Die Website hat Benutzer %1 abgewiesen (HTTP %2).</translation>
    </message>
    <message>
        <source>The page is not protected: the site let everybody in without a password (HTTP %1), so the check says nothing about user %2.</source>
        <translation>Die Seite ist nicht geschützt: Die Website hat jeden ohne Kennwort hereingelassen (HTTP %1), daher sagt die Prüfung nichts über Benutzer %2.</translation>
    </message>
    <message>
        <source>The site redirects to another host (%1); the credentials were not sent there, so the check is undecided.</source>
        <translation>Die Website leitet auf einen anderen Host um (%1); die Zugangsdaten wurden nicht dorthin gesendet, daher bleibt die Prüfung unentschieden.</translation>
    </message>
    <message>
        <source>The site could not be checked: %1.</source>
        <translation>Die Website konnte nicht geprüft werden: %1.</translation>
    </message>
    <message>
        <source>The site neither let user %1 in nor refused them (HTTP %2).</source>
        <translation>Die Website hat Benutzer %1 weder hereingelassen noch abgewiesen (HTTP %2).</translation>
    </message>
    <message>
        <source>The HTTP client could not be started</source>
        <translation>Der HTTP-Client konnte nicht gestartet werden</translation>
    </message>
    <message>
        <source>Too many redirects</source>
        <translation>Zu viele Umleitungen</translation>
    </message>
    <message>
        <source>The address is not an http or https address</source>
        <translation>Die Adresse ist keine http- oder https-Adresse</translation>
    </message>
    <message>
        <source>1 user written to %1; %2 disabled and %3 expired left out</source>
        <translation>1 Benutzer in %1 geschrieben; %2 deaktivierte und %3 abgelaufene ausgelassen</translation>
    </message>
    <message>
        <source>%1 users written to %2; %3 disabled and %4 expired left out</source>
        <translation>%1 Benutzer in %2 geschrieben; %3 deaktivierte und %4 abgelaufene ausgelassen</translation>
    </message>
    <message>
        <source>1 user written to %1; %2 disabled left out</source>
        <translation>1 Benutzer in %1 geschrieben; %2 deaktivierte ausgelassen</translation>
    </message>
    <message>
        <source>%1 users written to %2; %3 disabled left out</source>
        <translation>%1 Benutzer in %2 geschrieben; %3 deaktivierte ausgelassen</translation>
    </message>
    <message>
        <source>1 user written to %1; %2 expired left out</source>
        <translation>1 Benutzer in %1 geschrieben; %2 abgelaufene ausgelassen</translation>
    </message>
    <message>
        <source>%1 users written to %2; %3 expired left out</source>
        <translation>%1 Benutzer in %2 geschrieben; %3 abgelaufene ausgelassen</translation>
    </message>
    <message>
        <source>%1. %2</source>
        <translation>%1. %2</translation>
    </message>
    <message>
        <source>%1 changed since this database last wrote it: %2 there</source>
        <translation>%1 hat sich geändert, seit diese Datenbank die Datei zuletzt geschrieben hat: dort %2</translation>
    </message>
    <message>
        <source>%1 holds a user this database does not have</source>
        <translation>%1 enthält einen Benutzer, den diese Datenbank nicht hat</translation>
    </message>
    <message>
        <source>%1 holds %2 users this database does not have</source>
        <translation>%1 enthält %2 Benutzer, die diese Datenbank nicht hat</translation>
    </message>
    <message>
        <source>%1. Nothing was replaced.</source>
        <translation>%1. Es wurde nichts ersetzt.</translation>
    </message>
    <message>
        <source>+ %1 (added there)</source>
        <translation>+ %1 (dort hinzugefügt)</translation>
    </message>
    <message>
        <source>- %1 (removed there)</source>
        <translation>- %1 (dort entfernt)</translation>
    </message>
    <message>
        <source>~ %1 (password changed there)</source>
        <translation>~ %1 (Kennwort dort geändert)</translation>
    </message>
    <message>
        <source>... and %1 more</source>
        <translation>... und %1 weitere</translation>
    </message>
    <message>
        <source>(1 line there that are comments, blank or no user; they do not count)</source>
        <translation>(1 Zeile dort ist ein Kommentar, leer oder kein Benutzer; sie zählt nicht)</translation>
    </message>
    <message>
        <source>(%1 lines there that are comments, blank or no user; they do not count)</source>
        <translation>(%1 Zeilen dort sind Kommentare, leer oder keine Benutzer; sie zählen nicht)</translation>
    </message>
    <message>
        <source>%1 1 user removed there disabled here: %2.</source>
        <translation>%1 1 dort entfernter Benutzer hier deaktiviert: %2.</translation>
    </message>
    <message>
        <source>%1 %2 users removed there disabled here: %3.</source>
        <translation>%1 %2 dort entfernte Benutzer hier deaktiviert: %3.</translation>
    </message>
    <message>
        <source>Could not keep a copy of the file about to be replaced in the state folder: neither XDG_STATE_HOME nor HOME is set; nothing was replaced</source>
        <translation>Von der Datei, die ersetzt werden sollte, konnte keine Kopie im Statusordner aufbewahrt werden: weder XDG_STATE_HOME noch HOME ist gesetzt; es wurde nichts ersetzt</translation>
    </message>
    <message>
        <source>A bcrypt salt is 22 characters of ./0-9A-Za-z</source>
        <translation>Ein bcrypt-Salt besteht aus 22 Zeichen aus ./0-9A-Za-z</translation>
    </message>
    <message>
        <source>A SHA-crypt salt is 1 to 16 characters of ./0-9A-Za-z</source>
        <translation>Ein SHA-crypt-Salt besteht aus 1 bis 16 Zeichen aus ./0-9A-Za-z</translation>
    </message>
    <message>
        <source>%1, line %2: not &quot;group: user user ...&quot;</source>
        <translation>%1, Zeile %2: nicht „group: user user ...“</translation>
    </message>
    <message>
        <source>line %1 &quot;%2&quot; (%3)</source>
        <translation>Zeile %1 „%2“ (%3)</translation>
    </message>
    <message>
        <source>%1 added</source>
        <translation>%1 hinzugefügt</translation>
    </message>
    <message>
        <source>%1 removed</source>
        <translation>%1 entfernt</translation>
    </message>
    <message>
        <source>%1 changed</source>
        <translation>%1 geändert</translation>
    </message>
    <message>
        <source>no user changes</source>
        <translation>keine Änderungen an Benutzern</translation>
    </message>
    <message>
        <source>%1%2</source>
        <translation>%1%2</translation>
    </message>
    <message>
        <source>List index out of bounds (%1)</source>
        <translation>Listenindex außerhalb der Grenzen (%1)</translation>
    </message>
    <message>
        <source>error GetRandomChar</source>
        <translation>Fehler GetRandomChar</translation>
    </message>
    <message>
        <source>A group name must not be empty</source>
        <translation>Ein Gruppenname darf nicht leer sein</translation>
    </message>
    <message>
        <source>Invalid data type for &apos;%1&apos;</source>
        <translation>Ungültiger Datentyp für „%1“</translation>
    </message>
    <message>
        <source>Failed to set data for &apos;%1&apos;</source>
        <translation>Die Daten für „%1“ konnten nicht gesetzt werden</translation>
    </message>
    <message>
        <source>Version %1 was kept under another master password</source>
        <translation>Version %1 wurde unter einem anderen Master-Kennwort aufbewahrt</translation>
    </message>
    <message>
        <source>The encryption library could not be started</source>
        <translation>Die Verschlüsselungsbibliothek konnte nicht gestartet werden</translation>
    </message>
    <message>
        <source>The key file %1 is empty</source>
        <translation>Die Schlüsseldatei %1 ist leer</translation>
    </message>
    <message>
        <source>The encrypted database asks for a key derivation of %1 passes over %2 of memory; this version of Quorvane opens databases that ask for %3 to %4 passes over %5 to %6. The file is damaged or was written by a newer version.</source>
        <translation>Die verschlüsselte Datenbank verlangt eine Schlüsselableitung mit %1 Durchgängen über %2 Speicher; diese Version von Quorvane öffnet Datenbanken, die %3 bis %4 Durchgänge über %5 bis %6 verlangen. Die Datei ist beschädigt oder wurde von einer neueren Version geschrieben.</translation>
    </message>
    <message>
        <source>Wrong master password or damaged file</source>
        <translation>Falsches Master-Kennwort oder beschädigte Datei</translation>
    </message>
    <message>
        <source>The database %1 is encrypted; its master password is needed</source>
        <translation>Die Datenbank %1 ist verschlüsselt; ihr Master-Kennwort wird benötigt</translation>
    </message>
    <message>
        <source>The temporary copy of %1 does not hold what was written</source>
        <translation>Die temporäre Kopie von %1 enthält nicht, was geschrieben wurde</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>Putting the new %1 in place...</source>
        <translation>Die neue Datei %1 wird eingesetzt...</translation>
    </message>
    <message>
        <source>%1 (%2): holds the new file</source>
        <translation>%1 (%2): enthält die neue Datei</translation>
    </message>
    <message>
        <source>%1 (%2): not replaced; it holds its previous file</source>
        <translation>%1 (%2): nicht ersetzt; enthält die bisherige Datei</translation>
    </message>
    <message>
        <source>%1 (%2): not replaced; it holds its previous file. %3</source>
        <translation>%1 (%2): nicht ersetzt; enthält die bisherige Datei. %3</translation>
    </message>
    <message>
        <source>%1 (%2): replaced, then put back; it holds its previous file again</source>
        <translation>%1 (%2): ersetzt, dann zurückgesetzt; enthält wieder die bisherige Datei</translation>
    </message>
    <message>
        <source>%1 (%2): holds the new file; putting its previous file back failed: %3</source>
        <translation>%1 (%2): enthält die neue Datei; das Zurücksetzen der bisherigen Datei ist fehlgeschlagen: %3</translation>
    </message>
    <message>
        <source>%1 (%2): the replacement failed and the previous file could not be put back, so it may hold neither: %3</source>
        <translation>%1 (%2): das Ersetzen ist fehlgeschlagen und die bisherige Datei konnte nicht zurückgesetzt werden; möglicherweise enthält das Ziel keine von beiden: %3</translation>
    </message>
    <message>
        <source>%1 (%2): holds the new file, but the site check failed: %3 Put the previous version back (restore) if users cannot log in.</source>
        <translation>%1 (%2): enthält die neue Datei, aber die Prüfung der Website ist fehlgeschlagen: %3 Stellen Sie die vorige Version wieder her, falls sich Benutzer nicht anmelden können.</translation>
    </message>
    <message>
        <source>The database knows no password for the check user %1</source>
        <translation>Die Datenbank kennt kein Kennwort für den Prüfbenutzer %1</translation>
    </message>
    <message>
        <source>The target names no password file</source>
        <translation>Das Ziel nennt keine Kennwortdatei</translation>
    </message>
    <message>
        <source>Asking the site whether it lets the check user in...</source>
        <translation>Die Website wird gefragt, ob sie den Prüfbenutzer einlässt...</translation>
    </message>
    <message>
        <source>A database that keeps no clear passwords cannot export them as plain text: choose a hashed form first</source>
        <translation>Eine Datenbank, die keine Klartext-Kennwörter behält, kann sie nicht als Klartext exportieren: Wählen Sie zuerst eine Hash-Form</translation>
    </message>
    <message>
        <source>The form %1 needs the clear passwords of these users, which this database does not keep: %2. Keep the database&apos;s form or give them new passwords</source>
        <translation>Die Form %1 braucht die Klartext-Kennwörter dieser Benutzer, die diese Datenbank nicht behält: %2. Behalten Sie die Form der Datenbank bei oder geben Sie ihnen neue Kennwörter</translation>
    </message>
    <message>
        <source>%1; its group file could not be put back and holds the new groups: %2</source>
        <translation>%1; die Gruppendatei konnte nicht zurückgesetzt werden und enthält die neuen Gruppen: %2</translation>
    </message>
    <message>
        <source>its line would be longer than 8191 bytes; web servers stop reading the password file there, and every later user would be locked out</source>
        <translation>seine Zeile wäre länger als 8191 Bytes; Webserver hören dort auf, die Kennwortdatei zu lesen, und alle späteren Benutzer wären ausgesperrt</translation>
    </message>
    <message>
        <source>%1, line %2: the group &quot;%3&quot; is the group &quot;%4&quot; of line %5 to the web server (letters a to z without regard to case)</source>
        <translation>%1, Zeile %2: Die Gruppe „%3“ ist für den Webserver die Gruppe „%4“ aus Zeile %5 (Buchstaben a bis z ohne Rücksicht auf Groß- und Kleinschreibung)</translation>
    </message>
    <message>
        <source>The key file %1 is a file this program writes (the database, its side files, kept versions or what an export writes): once rewritten, it could never open the database again. Choose a file that stays as it is</source>
        <translation>Die Schlüsseldatei %1 ist eine Datei, die dieses Programm schreibt (die Datenbank, ihre Begleitdateien, aufbewahrte Fassungen oder was ein Export schreibt): Einmal überschrieben, könnte sie die Datenbank nie wieder öffnen. Wählen Sie eine Datei, die unverändert bleibt</translation>
    </message>
    <message>
        <source>Version %1 is damaged: it is not whole and cannot be restored</source>
        <translation>Version %1 ist beschädigt: Sie ist nicht vollständig und kann nicht wiederhergestellt werden</translation>
    </message>
    <message>
        <source>The login is longer than %1 bytes, the most a login may have. Shorten it.</source>
        <translation>Der Anmeldename ist länger als %1 Bytes, das Höchstmaß für einen Anmeldenamen. Kürzen Sie ihn.</translation>
    </message>
    <message>
        <source>The group name &quot;%1&quot; starts with &quot;#&quot;, which makes its line of the group file a comment</source>
        <translation>Der Gruppenname „%1“ beginnt mit „#“, wodurch seine Zeile in der Gruppendatei zu einem Kommentar wird</translation>
    </message>
    <message>
        <source>&quot;%1&quot; and &quot;%2&quot; are one group to the web server (letters a to z without regard to case): use one spelling</source>
        <translation>„%1“ und „%2“ sind für den Webserver eine Gruppe (Buchstaben a bis z ohne Rücksicht auf Groß- und Kleinschreibung): Verwenden Sie eine Schreibweise</translation>
    </message>
    <message>
        <source>The e-mail address of &quot;%1&quot; holds &quot;,&quot;, &quot;;&quot;, &quot;&lt;&quot;, &quot;&gt;&quot; or a blank: one address only, please</source>
        <translation>Die E-Mail-Adresse von „%1“ enthält „,“, „;“, „&lt;“, „&gt;“ oder ein Leerzeichen: bitte nur eine Adresse</translation>
    </message>
    <message>
        <source>The targets %1 and %2 both write %3: an export to both would replace it twice and fail; give one of them another place or remove it</source>
        <translation>Die Ziele %1 und %2 schreiben beide %3: Ein Export zu beiden würde es zweimal ersetzen und scheitern; geben Sie einem von beiden einen anderen Ort oder entfernen Sie es</translation>
    </message>
    <message>
        <source>Nothing was taken in and nothing replaced: %1 holds logins that are there already in another case (letters a to z without regard to case): %2. Rename or remove them there, or rename the users here, and export again</source>
        <translation>Nichts wurde übernommen und nichts ersetzt: %1 enthält Anmeldenamen, die es in anderer Schreibweise schon gibt (Buchstaben a bis z ohne Rücksicht auf Groß- und Kleinschreibung): %2. Benennen Sie sie dort um oder entfernen Sie sie, oder benennen Sie die Benutzer hier um, und exportieren Sie erneut</translation>
    </message>
    <message>
        <source>The export could not keep its record in %1 (the folder is read-only, or another program holds the file): the next export cannot tell what it wrote from a change made there, and makes every hash again</source>
        <translation>Der Export konnte seine Aufzeichnung nicht in %1 ablegen (der Ordner ist schreibgeschützt, oder ein anderes Programm hält die Datei): Der nächste Export kann nicht unterscheiden, was er geschrieben hat und was dort geändert wurde, und erzeugt jeden Hash neu</translation>
    </message>
    <message>
        <source>Give the store&apos;s password with --password-stdin (in the export dialog: its Password box), not in the address</source>
        <translation>Geben Sie das Kennwort des Speichers mit --password-stdin an (im Exportdialog: im Feld Kennwort), nicht in der Adresse</translation>
    </message>
    <message>
        <source>%1 stopped the search at its size limit, also read a page at a time; nothing was changed. Let %2 read more entries in a paged search (OpenLDAP: limits dn.exact=&quot;%2&quot; size.prtotal=unlimited)</source>
        <translation>%1 hat die Suche an seiner Größenbegrenzung beendet, auch seitenweise gelesen; nichts wurde geändert. Erlauben Sie %2, in einer seitenweisen Suche mehr Einträge zu lesen (OpenLDAP: limits dn.exact=&quot;%2&quot; size.prtotal=unlimited)</translation>
    </message>
    <message>
        <source>The users cannot both join and leave the group &quot;%1&quot;</source>
        <translation>Die Benutzer können der Gruppe „%1“ nicht zugleich beitreten und sie verlassen</translation>
    </message>
    <message>
        <source>The password form does not accept the setting %1</source>
        <translation>Die Passwortform nimmt die Einstellung %1 nicht an</translation>
    </message>
    <message>
        <source>The PBKDF2 iterations must be from %1 to %2</source>
        <translation>Die PBKDF2-Iterationen müssen zwischen %1 und %2 liegen</translation>
    </message>
    <message>
        <source>The argon2id passes must be from %1 to %2</source>
        <translation>Die argon2id-Durchläufe müssen zwischen %1 und %2 liegen</translation>
    </message>
    <message>
        <source>The form %1 needs a realm: the name the server&apos;s AuthName gives</source>
        <translation>Die Form %1 braucht einen Realm: den Namen, den AuthName des Servers angibt</translation>
    </message>
    <message>
        <source>The realm &quot;%1&quot; cannot go into a Digest file: it holds a colon or a control character</source>
        <translation>Der Realm „%1“ kann nicht in eine Digest-Datei: er enthält einen Doppelpunkt oder ein Steuerzeichen</translation>
    </message>
    <message>
        <source>The form %1 is made from the clear password and cannot hold users known only by their password hash: %2. Give them new passwords or export in another form</source>
        <translation>Die Form %1 entsteht aus dem Klartextpasswort und kann keine Benutzer aufnehmen, die nur mit ihrem Passwort-Hash bekannt sind: %2. Geben Sie ihnen neue Passwörter oder exportieren Sie in einer anderen Form</translation>
    </message>
    <message>
        <source>No program is called %1; the known ones are %2</source>
        <translation>Kein Programm heißt %1; bekannt sind %2</translation>
    </message>
    <message>
        <source>%1 does not read the form %2; it reads %3</source>
        <translation>%1 liest die Form %2 nicht; es liest %3</translation>
    </message>
    <message>
        <source>%1 cannot read the passwords of these users, which are not in the form %2: %3. Give them new passwords, then export again</source>
        <translation>%1 kann die Passwörter dieser Benutzer nicht lesen, die nicht in der Form %2 vorliegen: %3. Geben Sie ihnen neue Passwörter und exportieren Sie erneut</translation>
    </message>
    <message>
        <source>Users with a password in another form than %2, which not every program reads (%1): %3</source>
        <translation>Benutzer mit einem Passwort in einer anderen Form als %2, die nicht jedes Programm liest (%1): %3</translation>
    </message>
    <message>
        <source>%1 cannot hold these users safely: %2. Correct or disable them, then export again.</source>
        <translation>%1 kann diese Benutzer nicht sicher aufnehmen: %2. Korrigieren oder deaktivieren Sie sie und exportieren Sie erneut.</translation>
    </message>
    <message>
        <source>%1 (%2 cannot go into this file)</source>
        <translation>%1 (%2 kann nicht in diese Datei)</translation>
    </message>
    <message>
        <source>the login</source>
        <translation>der Login</translation>
    </message>
    <message>
        <source>the full name</source>
        <translation>der vollständige Name</translation>
    </message>
    <message>
        <source>the e-mail address</source>
        <translation>die E-Mail-Adresse</translation>
    </message>
    <message>
        <source>a group</source>
        <translation>eine Gruppe</translation>
    </message>
    <message>
        <source>the password</source>
        <translation>das Passwort</translation>
    </message>
    <message>
        <source>The name &quot;%1&quot; cannot name the %2: use letters, digits, &quot;-&quot; and &quot;_&quot;</source>
        <translation>Der Name „%1“ kann %2 nicht benennen: verwenden Sie Buchstaben, Ziffern, „-“ und „_“</translation>
    </message>
    <message>
        <source>%1 without users would let everybody in; nothing was written</source>
        <translation>%1 ohne Benutzer würde jeden einlassen; es wurde nichts geschrieben</translation>
    </message>
    <message>
        <source>Users with a password in another form than %2, which not every program reads: %1</source>
        <translation>Benutzer mit einem Passwort in einer anderen Form als %2, die nicht jedes Programm liest: %1</translation>
    </message>
    <message>
        <source>No kind of target is reached by addresses starting with &quot;%1:&quot;</source>
        <translation>Keine Art von Ziel ist über Adressen erreichbar, die mit &quot;%1:&quot; beginnen</translation>
    </message>
    <message>
        <source>There is no group &quot;%1&quot; on this system</source>
        <translation>Auf diesem System gibt es keine Gruppe &quot;%1&quot;</translation>
    </message>
    <message>
        <source>The group of %1 cannot be set to &quot;%2&quot;: %3</source>
        <translation>Die Gruppe von %1 kann nicht auf &quot;%2&quot; gesetzt werden: %3</translation>
    </message>
    <message>
        <source>%1 (%2): holds the new file, but the command after the export failed (put the previous version back with restore if the program that reads it cannot use the new one): %3</source>
        <translation>%1 (%2): enthält die neue Datei, aber der Befehl nach dem Export ist fehlgeschlagen (stellen Sie die vorige Version wieder her, falls das Programm, das sie liest, die neue nicht verwenden kann): %3</translation>
    </message>
    <message>
        <source>The command after the export could not be started: %1</source>
        <translation>Der Befehl nach dem Export konnte nicht gestartet werden: %1</translation>
    </message>
    <message>
        <source>ended with status %1</source>
        <translation>endete mit Status %1</translation>
    </message>
    <message>
        <source>did not end within %1 seconds</source>
        <translation>endete nicht innerhalb von %1 Sekunden</translation>
    </message>
    <message>
        <source>was ended by signal %1</source>
        <translation>wurde durch Signal %1 beendet</translation>
    </message>
    <message>
        <source>The command &quot;%1&quot; %2</source>
        <translation>Der Befehl &quot;%1&quot; %2</translation>
    </message>
    <message>
        <source>The command &quot;%1&quot; %2; its last output: %3</source>
        <translation>Der Befehl &quot;%1&quot; %2; seine letzte Ausgabe: %3</translation>
    </message>
    <message>
        <source>A command after the export runs beside a local file or over SFTP; %1 is reached over FTP</source>
        <translation>Ein Befehl nach dem Export läuft bei einer lokalen Datei oder über SFTP; %1 wird über FTP erreicht</translation>
    </message>
    <message>
        <source>A file&apos;s mode is set on a local file or over SFTP, its group only on a local file; %1 cannot take them</source>
        <translation>Die Zugriffsrechte einer Datei werden bei einer lokalen Datei oder über SFTP gesetzt, ihre Gruppe nur bei einer lokalen Datei; %1 kann sie nicht übernehmen</translation>
    </message>
    <message>
        <source>The mode of %1 could not be set to %2: %3</source>
        <translation>Die Zugriffsrechte von %1 konnten nicht auf %2 gesetzt werden: %3</translation>
    </message>
    <message>
        <source>No form is called %1; the forms are %2</source>
        <translation>Keine Form heißt %1; die Formen sind %2</translation>
    </message>
    <message>
        <source>The form %2 has no %1</source>
        <translation>Die Form %2 hat kein %1</translation>
    </message>
    <message>
        <source>Line ends are lf or crlf, not %1</source>
        <translation>Zeilenenden sind lf oder crlf, nicht %1</translation>
    </message>
    <message>
        <source>%1 is no file mode: give the permission bits in octal, such as 0640</source>
        <translation>%1 sind keine Dateirechte: Geben Sie die Zugriffsrechte oktal an, etwa 0640</translation>
    </message>
    <message>
        <source>%1 is a store: it keeps users, not a file for another program, a realm or line ends</source>
        <translation>%1 ist ein Speicher: Er hält Benutzer, keine Datei für ein anderes Programm, keinen Realm und keine Zeilenenden</translation>
    </message>
    <message>
        <source>A %2 target reads no option %1; it reads %3</source>
        <translation>Ein Ziel der Art %2 liest keine Option %1; es liest %3</translation>
    </message>
    <message>
        <source>%1 is a secret: it is given apart, never as an option</source>
        <translation>%1 ist geheim: Es wird getrennt angegeben, nie als Option</translation>
    </message>
    <message>
        <source>%1 is not a value of %2</source>
        <translation>%1 ist kein Wert von %2</translation>
    </message>
    <message>
        <source>A %1 target needs the option %2</source>
        <translation>Ein Ziel der Art %1 braucht die Option %2</translation>
    </message>
    <message>
        <source>A %1 target logs in nowhere: it takes no password</source>
        <translation>Ein Ziel der Art %1 meldet sich nirgends an: es nimmt kein Passwort</translation>
    </message>
    <message>
        <source>Plain FTP sends the password and the password file in clear; use ftpes://, ftps:// or sftp:// where the server offers it</source>
        <translation>Einfaches FTP überträgt das Passwort und die Passwortdatei im Klartext; nehmen Sie ftpes://, ftps:// oder sftp://, wo der Server es anbietet</translation>
    </message>
</context>
<context>
    <name>MasterPasswordDlg</name>
    <message>
        <source>&amp;Browse...</source>
        <translation>&amp;Durchsuchen...</translation>
    </message>
</context>
<context>
    <name>PasswordField</name>
    <message>
        <source>Hide the password</source>
        <translation>Kennwort verbergen</translation>
    </message>
    <message>
        <source>Show the password</source>
        <translation>Kennwort anzeigen</translation>
    </message>
    <message>
        <source>very weak</source>
        <translation>sehr schwach</translation>
    </message>
    <message>
        <source>weak</source>
        <translation>schwach</translation>
    </message>
    <message>
        <source>fair</source>
        <translation>mittel</translation>
    </message>
    <message>
        <source>strong</source>
        <translation>stark</translation>
    </message>
    <message>
        <source>Strength: %1 (about %2 bits)</source>
        <translation>Stärke: %1 (etwa %2 Bit)</translation>
    </message>
    <message>
        <source>New Password</source>
        <translation>Neues Kennwort</translation>
    </message>
    <message>
        <source>The new password of %1. The database keeps only its hash: note it or copy it now, it is not shown again.</source>
        <translation>Das neue Kennwort von %1. Die Datenbank behält nur seinen Hash: Notieren oder kopieren Sie es jetzt, es wird nicht wieder angezeigt.</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Kopieren</translation>
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
    <message>
        <source>&amp;Save</source>
        <translation>&amp;Speichern</translation>
    </message>
    <message>
        <source>Do&amp;n&apos;t Save</source>
        <translation>&amp;Nicht speichern</translation>
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
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Free software under the %1.</source>
        <translation>Freie Software unter der %1.</translation>
    </message>
    <message>
        <source>MIT License</source>
        <translation>MIT-Lizenz</translation>
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
        <translation>Groß-/&amp;Kleinschreibung beachten</translation>
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
    <name>quorvane::THelpWindow</name>
    <message>
        <source>Quorvane Help</source>
        <translation>Quorvane-Hilfe</translation>
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
    <message>
        <source>No password: anyone who knows the login gets in</source>
        <translation>Kein Kennwort: Jeder, der den Anmeldenamen kennt, kommt hinein</translation>
    </message>
    <message>
        <source>The stored hash (%1) is weak: set a new password</source>
        <translation>Der gespeicherte Hash (%1) ist schwach: Vergeben Sie ein neues Kennwort</translation>
    </message>
    <message>
        <source>Groups</source>
        <translation>Gruppen</translation>
    </message>
</context>
<context>
    <name>quorvane::TfrmChangePassword</name>
    <message>
        <source>Change Password</source>
        <translation>Kennwort ändern</translation>
    </message>
    <message>
        <source>A new password for %1.</source>
        <translation>Ein neues Kennwort für %1.</translation>
    </message>
    <message>
        <source>&amp;Generate</source>
        <translation>&amp;Erzeugen</translation>
    </message>
    <message>
        <source>A random password with the settings of the last user series</source>
        <translation>Ein zufälliges Kennwort mit den Einstellungen der letzten Benutzerserie</translation>
    </message>
    <message>
        <source>&amp;New password</source>
        <translation>&amp;Neues Kennwort</translation>
    </message>
</context>
<context>
    <name>quorvane::TfrmCredentials</name>
    <message>
        <source>Subject: Your access to {url}

Hello {name},

you can now enter {url} with

  login:    {login}
  password: {password}

Your access ends: {expires}.
</source>
        <translation>Subject: Ihr Zugang zu {url}

Hallo {name},

Sie können {url} jetzt betreten mit

  Anmeldename: {login}
  Kennwort:    {password}

Ihr Zugang endet: {expires}.
</translation>
    </message>
    <message>
        <source>Send Credentials</source>
        <translation>Zugangsdaten senden</translation>
    </message>
    <message>
        <source>One mail for the selected user, from this template. {login}, {password}, {url}, {name}, {email} and {expires} are filled in.</source>
        <translation>Eine E-Mail für den ausgewählten Benutzer nach dieser Vorlage. {login}, {password}, {url}, {name}, {email} und {expires} werden ausgefüllt.</translation>
    </message>
    <message>
        <source>One mail for each of the %1 users, from this template. {login}, {password}, {url}, {name}, {email} and {expires} are filled in.</source>
        <translation>Eine E-Mail für jeden der %1 Benutzer nach dieser Vorlage. {login}, {password}, {url}, {name}, {email} und {expires} werden ausgefüllt.</translation>
    </message>
    <message>
        <source>&amp;Load...</source>
        <translation>&amp;Laden...</translation>
    </message>
    <message>
        <source>To the mail program, one by one</source>
        <translation>An das E-Mail-Programm, eine nach der anderen</translation>
    </message>
    <message>
        <source>E-mail files (.eml) in a folder</source>
        <translation>E-Mail-Dateien (.eml) in einem Ordner</translation>
    </message>
    <message>
        <source>One mailbox file (.mbox) in a folder</source>
        <translation>Eine Postfachdatei (.mbox) in einem Ordner</translation>
    </message>
    <message>
        <source>A CSV file for a mail merge, in a folder</source>
        <translation>Eine CSV-Datei für einen Serienbrief, in einem Ordner</translation>
    </message>
    <message>
        <source>&amp;Browse...</source>
        <translation>&amp;Durchsuchen...</translation>
    </message>
    <message>
        <source>&amp;Template</source>
        <translation>&amp;Vorlage</translation>
    </message>
    <message>
        <source>Site &amp;address</source>
        <translation>Adresse der &amp;Website</translation>
    </message>
    <message>
        <source>&amp;Sender</source>
        <translation>&amp;Absender</translation>
    </message>
    <message>
        <source>Se&amp;nd</source>
        <translation>Ve&amp;rsand</translation>
    </message>
    <message>
        <source>&amp;Folder</source>
        <translation>&amp;Ordner</translation>
    </message>
    <message>
        <source>Mail %1 of %2 is open in the mail program. Open the next one?</source>
        <translation>E-Mail %1 von %2 ist im E-Mail-Programm geöffnet. Die nächste öffnen?</translation>
    </message>
    <message>
        <source>%1 of %2 mails opened in the mail program</source>
        <translation>%1 von %2 E-Mails im E-Mail-Programm geöffnet</translation>
    </message>
    <message>
        <source>1 mail written to %1</source>
        <translation>1 E-Mail in %1 geschrieben</translation>
    </message>
    <message>
        <source>%1 mails written to %2</source>
        <translation>%1 E-Mails in %2 geschrieben</translation>
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
    <name>quorvane::TfrmEditUsers</name>
    <message>
        <source>Edit %1 Users</source>
        <translation>%1 Benutzer bearbeiten</translation>
    </message>
    <message>
        <source>staff, editors</source>
        <translation>team, redaktion</translation>
    </message>
    <message>
        <source>&amp;Keep each user&apos;s expiry</source>
        <translation>Ablauf jedes Benutzers &amp;beibehalten</translation>
    </message>
    <message>
        <source>&amp;Never expire</source>
        <translation>&amp;Nie ablaufen</translation>
    </message>
    <message>
        <source>Expire &amp;on</source>
        <translation>Läuft &amp;ab am</translation>
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
        <source> Groups </source>
        <translation> Gruppen </translation>
    </message>
    <message>
        <source>&amp;Join</source>
        <translation>Bei&amp;treten</translation>
    </message>
    <message>
        <source>&amp;Leave</source>
        <translation>&amp;Verlassen</translation>
    </message>
    <message>
        <source> Expiry </source>
        <translation> Ablauf </translation>
    </message>
</context>
<context>
    <name>quorvane::TfrmExportUser</name>
    <message>
        <source>Export</source>
        <translation>Exportieren</translation>
    </message>
    <message>
        <source>Web servers on Linux and other Unix systems (Apache, nginx, lighttpd) refuse plain-text password files; they accept them only on Windows.</source>
        <translation>Webserver unter Linux und anderen Unix-Systemen (Apache, nginx, lighttpd) lehnen Kennwortdateien im Klartext ab; nur unter Windows nehmen sie sie an.</translation>
    </message>
    <message>
        <source>none: log in with the password</source>
        <translation>keine: Anmeldung mit dem Kennwort</translation>
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
    <message>
        <source>Accepted by every Apache, nginx and lighttpd, but fast to guess from a stolen file: prefer bcrypt.</source>
        <translation>Von jedem Apache, nginx und lighttpd angenommen, aber aus einer gestohlenen Datei schnell zu erraten: besser bcrypt.</translation>
    </message>
    <message>
        <source>Accepted by Apache 2.4 and by nginx on Linux (through the system&apos;s crypt); the usual choice today.</source>
        <translation>Von Apache 2.4 und von nginx unter Linux (über die crypt-Funktion des Systems) angenommen; heute die übliche Wahl.</translation>
    </message>
    <message>
        <source>Accepted by Apache and nginx on Linux (through the system&apos;s crypt), not by Apache on Windows.</source>
        <translation>Von Apache und nginx unter Linux (über die crypt-Funktion des Systems) angenommen, nicht von Apache unter Windows.</translation>
    </message>
    <message>
        <source>Export: %1.
Server: %2.</source>
        <translation>Export: %1.
Server: %2.</translation>
    </message>
    <message>
        <source>none: the system&apos;s certificate authorities</source>
        <translation>keine: die Zertifizierungsstellen des Systems</translation>
    </message>
    <message>
        <source>A file of certificates (PEM) that vouch for the server, for a server whose certificate no public authority signed</source>
        <translation>Eine Datei mit Zertifikaten (PEM), die für den Server bürgen – für einen Server, dessen Zertifikat keine öffentliche Stelle signiert hat</translation>
    </message>
    <message>
        <source>The database file then holds this password: anyone who can read the file can read it.</source>
        <translation>Die Datenbankdatei enthält dann dieses Kennwort: Wer die Datei lesen kann, kann es lesen.</translation>
    </message>
    <message>
        <source>%1 of %2 %3</source>
        <translation>%1 von %2 %3</translation>
    </message>
    <message>
        <source>, %1 %2/s</source>
        <translation>, %1 %2/s</translation>
    </message>
    <message>
        <source>, about %1 h %2 min left</source>
        <translation>, noch etwa %1 h %2 min</translation>
    </message>
    <message>
        <source>, about %1 min left</source>
        <translation>, noch etwa %1 min</translation>
    </message>
    <message>
        <source>, about %1 s left</source>
        <translation>, noch etwa %1 s</translation>
    </message>
    <message>
        <source>The password file %1 is on the server %2 now.</source>
        <translation>Die Kennwortdatei %1 liegt jetzt auf dem Server %2.</translation>
    </message>
    <message>
        <source>%1

Trust the server whose public key is
%2

Only if its administrator confirms this key. The export is then tried again.</source>
        <translation>%1

Dem Server vertrauen, dessen öffentlicher Schlüssel
%2

lautet? Nur wenn sein Administrator diesen Schlüssel bestätigt. Der Export wird dann erneut versucht.</translation>
    </message>
    <message>
        <source>&amp;Trust</source>
        <translation>&amp;Vertrauen</translation>
    </message>
    <message>
        <source>SSH host keys trusted for this server besides known_hosts; a server showing another key is refused</source>
        <translation>SSH-Hostschlüssel, denen für diesen Server neben known_hosts vertraut wird; ein Server, der einen anderen Schlüssel zeigt, wird abgewiesen</translation>
    </message>
    <message>
        <source>Aborting...</source>
        <translation>Wird abgebrochen...</translation>
    </message>
    <message>
        <source>The new file is already being put in place...</source>
        <translation>Die neue Datei wird bereits an ihren Platz gebracht...</translation>
    </message>
    <message>
        <source>%1 added, %2 removed, %3 with a new hash.</source>
        <translation>%1 hinzugefügt, %2 entfernt, %3 mit neuem Hash.</translation>
    </message>
    <message>
        <source>The file there changed since this database last wrote it: an export will ask before it replaces it.</source>
        <translation>Die Datei dort hat sich geändert, seit diese Datenbank sie zuletzt geschrieben hat: Ein Export fragt, bevor er sie ersetzt.</translation>
    </message>
    <message>
        <source>Preview Changes</source>
        <translation>Änderungen anzeigen</translation>
    </message>
    <message>
        <source>An export changes no user in %1.</source>
        <translation>Ein Export ändert keinen Benutzer in %1.</translation>
    </message>
    <message>
        <source>An export makes these changes to %1:</source>
        <translation>Ein Export nimmt diese Änderungen an %1 vor:</translation>
    </message>
    <message>
        <source>%1 changed since this database last wrote it:</source>
        <translation>%1 hat sich geändert, seit diese Datenbank die Datei zuletzt geschrieben hat:</translation>
    </message>
    <message>
        <source>%1 holds users this database does not have:</source>
        <translation>%1 enthält Benutzer, die diese Datenbank nicht hat:</translation>
    </message>
    <message>
        <source>+ %1 (added there)</source>
        <translation>+ %1 (dort hinzugefügt)</translation>
    </message>
    <message>
        <source>- %1 (removed there)</source>
        <translation>- %1 (dort entfernt)</translation>
    </message>
    <message>
        <source>~ %1 (password changed there)</source>
        <translation>~ %1 (Kennwort dort geändert)</translation>
    </message>
    <message>
        <source>... and %1 more</source>
        <translation>... und %1 weitere</translation>
    </message>
    <message>
        <source>(%1 other lines there: comments, blank lines; they do not count)</source>
        <translation>(%1 weitere Zeilen dort: Kommentare, Leerzeilen; sie zählen nicht)</translation>
    </message>
    <message>
        <source>Nothing has been replaced. Merge takes these changes into the database, which is then saved, and exports; Overwrite replaces the file there (a copy is kept and can be restored).</source>
        <translation>Es wurde nichts ersetzt. Zusammenführen übernimmt diese Änderungen in die Datenbank, speichert sie und exportiert; Überschreiben ersetzt die Datei dort (eine Kopie wird aufbewahrt und kann wiederhergestellt werden).</translation>
    </message>
    <message>
        <source>&amp;Merge</source>
        <translation>&amp;Zusammenführen</translation>
    </message>
    <message>
        <source>&amp;Overwrite</source>
        <translation>Ü&amp;berschreiben</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>Name of the target:</source>
        <translation>Name des Ziels:</translation>
    </message>
    <message>
        <source>There is a target named %1 already.</source>
        <translation>Es gibt schon ein Ziel namens %1.</translation>
    </message>
    <message>
        <source>Add Target</source>
        <translation>Ziel hinzufügen</translation>
    </message>
    <message>
        <source>Rename Target</source>
        <translation>Ziel umbenennen</translation>
    </message>
    <message>
        <source>A site that does not let its check user in can have its previous password file back: File, Restore Previous Password File.</source>
        <translation>Eine Site, die ihren Prüfbenutzer nicht einlässt, kann ihre frühere Kennwortdatei zurückbekommen: Datei, Frühere Kennwortdatei wiederherstellen.</translation>
    </message>
    <message>
        <source>Where an export goes: every ticked target gets the new file, or none does</source>
        <translation>Wohin ein Export geht: jedes angehakte Ziel erhält die neue Datei, oder keines</translation>
    </message>
    <message>
        <source>Once the new file is in place, ask this address to let this user of the database in; a refusal counts as a failed export</source>
        <translation>Sobald die neue Datei an ihrem Platz ist, diese Adresse bitten, diesen Benutzer der Datenbank einzulassen; eine Ablehnung zählt als fehlgeschlagener Export</translation>
    </message>
    <message>
        <source>https://www.example.org/members/</source>
        <translation>https://www.example.org/mitglieder/</translation>
    </message>
    <message>
        <source>login</source>
        <translation>Anmeldename</translation>
    </message>
    <message>
        <source>No user changes.</source>
        <translation>Keine Änderungen an Benutzern.</translation>
    </message>
    <message>
        <source>An export makes these changes to %1 targets:</source>
        <translation>Ein Export ändert Folgendes an %1 Zielen:</translation>
    </message>
    <message>
        <source>Passphrase of the key file %1</source>
        <translation>Passphrase der Schlüsseldatei %1</translation>
    </message>
    <message>
        <source>Password for %1 on %2</source>
        <translation>Kennwort für %1 auf %2</translation>
    </message>
    <message>
        <source>&amp;Cost</source>
        <translation>Auf&amp;wand</translation>
    </message>
    <message>
        <source>Ro&amp;unds</source>
        <translation>&amp;Runden</translation>
    </message>
    <message>
        <source>Pass&amp;word hash</source>
        <translation>Hash-&amp;Verfahren</translation>
    </message>
    <message>
        <source>&amp;Targets</source>
        <translation>&amp;Ziele</translation>
    </message>
    <message>
        <source>&amp;Add...</source>
        <translation>Hi&amp;nzufügen...</translation>
    </message>
    <message>
        <source>Re&amp;name...</source>
        <translation>&amp;Umbenennen...</translation>
    </message>
    <message>
        <source>&amp;Remove</source>
        <translation>&amp;Entfernen</translation>
    </message>
    <message>
        <source>&amp;Browse</source>
        <translation>&amp;Durchsuchen</translation>
    </message>
    <message>
        <source>Passive &amp;mode</source>
        <translation>Passiver M&amp;odus</translation>
    </message>
    <message>
        <source>&amp;Login</source>
        <translation>&amp;Benutzername</translation>
    </message>
    <message>
        <source>Passwor&amp;d</source>
        <translation>&amp;Kennwort</translation>
    </message>
    <message>
        <source>&amp;Save?</source>
        <translation>&amp;Speichern?</translation>
    </message>
    <message>
        <source>Ke&amp;y file</source>
        <translation>S&amp;chlüsseldatei</translation>
    </message>
    <message>
        <source>Re&amp;move</source>
        <translation>En&amp;tfernen</translation>
    </message>
    <message>
        <source>Addr&amp;ess</source>
        <translation>&amp;Adresse</translation>
    </message>
    <message>
        <source>Chec&amp;k after export</source>
        <translation>Nach de&amp;m Export prüfen</translation>
    </message>
    <message>
        <source>Preview Chan&amp;ges...</source>
        <translation>Änderun&amp;gen anzeigen...</translation>
    </message>
    <message>
        <source>E&amp;xport</source>
        <translation>E&amp;xportieren</translation>
    </message>
    <message>
        <source>Its default</source>
        <translation>Seine Vorgabe</translation>
    </message>
    <message>
        <source>Read by</source>
        <translation>Gelesen von</translation>
    </message>
    <message>
        <source>The program that reads this target&apos;s file: the file is written in its syntax, in a form it reads</source>
        <translation>Das Programm, das die Datei dieses Ziels liest: Die Datei wird in seiner Syntax geschrieben, in einer Form, die es liest</translation>
    </message>
    <message>
        <source>Form</source>
        <translation>Form</translation>
    </message>
    <message>
        <source>Realm</source>
        <translation>Realm</translation>
    </message>
    <message>
        <source>File mode</source>
        <translation>Dateirechte</translation>
    </message>
    <message>
        <source>as it was</source>
        <translation>wie bisher</translation>
    </message>
    <message>
        <source>The written file&apos;s permission bits in octal, such as 0640 (a local file or SFTP)</source>
        <translation>Die Zugriffsrechte der geschriebenen Datei, oktal, etwa 0640 (lokale Datei oder SFTP)</translation>
    </message>
    <message>
        <source>File group</source>
        <translation>Dateigruppe</translation>
    </message>
    <message>
        <source>Then run</source>
        <translation>Danach ausführen</translation>
    </message>
    <message>
        <source>systemctl reload haproxy</source>
        <translation>systemctl reload haproxy</translation>
    </message>
    <message>
        <source>A command run once every target holds its new file, beside a local file or over the SFTP connection; its failure fails this target</source>
        <translation>Ein Befehl, der ausgeführt wird, sobald jedes Ziel seine neue Datei hat, neben einer lokalen Datei oder über die SFTP-Verbindung; schlägt er fehl, schlägt dieses Ziel fehl</translation>
    </message>
    <message>
        <source>Where the file goes: a file on this computer, or an address: %1</source>
        <translation>Wohin die Datei geht: eine Datei auf diesem Rechner oder eine Adresse: %1</translation>
    </message>
    <message>
        <source>CA f&amp;ile</source>
        <translation>&amp;CA-Datei</translation>
    </message>
    <message>
        <source>&amp;Host keys</source>
        <translation>H&amp;ostschlüssel</translation>
    </message>
</context>
<context>
    <name>quorvane::TfrmImportPreview</name>
    <message>
        <source>More fields than the other lines (%1)</source>
        <translation>Mehr Felder als die anderen Zeilen (%1)</translation>
    </message>
    <message>
        <source>Fewer fields than the other lines (%1)</source>
        <translation>Weniger Felder als die anderen Zeilen (%1)</translation>
    </message>
    <message>
        <source>The login holds a blank</source>
        <translation>Der Anmeldename enthält ein Leerzeichen</translation>
    </message>
    <message>
        <source>The password is a column name</source>
        <translation>Das Kennwort ist ein Spaltenname</translation>
    </message>
    <message>
        <source>The same login as line %1</source>
        <translation>Derselbe Anmeldename wie Zeile %1</translation>
    </message>
    <message>
        <source>Import Users</source>
        <translation>Benutzer importieren</translation>
    </message>
    <message>
        <source>Commas or blanks (text rules)</source>
        <translation>Kommas oder Leerzeichen (Textregeln)</translation>
    </message>
    <message>
        <source>Comma</source>
        <translation>Komma</translation>
    </message>
    <message>
        <source>Semicolon</source>
        <translation>Semikolon</translation>
    </message>
    <message>
        <source>Tab</source>
        <translation>Tabulator</translation>
    </message>
    <message>
        <source>Blank</source>
        <translation>Leerzeichen</translation>
    </message>
    <message>
        <source>Fields &amp;separated by:</source>
        <translation>Felder &amp;getrennt durch:</translation>
    </message>
    <message>
        <source>File: %1</source>
        <translation>Datei: %1</translation>
    </message>
    <message>
        <source>Line</source>
        <translation>Zeile</translation>
    </message>
    <message>
        <source>What looks wrong</source>
        <translation>Was falsch aussieht</translation>
    </message>
    <message>
        <source>Text</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>&amp;Add All</source>
        <translation>&amp;Alle hinzufügen</translation>
    </message>
    <message>
        <source>Adds every line as it is read</source>
        <translation>Fügt jede Zeile so hinzu, wie sie gelesen wird</translation>
    </message>
    <message>
        <source>S&amp;kip These Lines</source>
        <translation>Diese Zeilen ü&amp;berspringen</translation>
    </message>
    <message>
        <source>Adds the other lines only</source>
        <translation>Fügt nur die anderen Zeilen hinzu</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Line %1 names the columns and is not added.</source>
        <translation>Zeile %1 benennt die Spalten und wird nicht hinzugefügt.</translation>
    </message>
    <message>
        <source>Every line holds a semicolon: read by the text rules, each line becomes one login. Choose &quot;Semicolon&quot;.</source>
        <translation>Jede Zeile enthält ein Semikolon: nach den Textregeln gelesen, wird jede Zeile zu einem Anmeldenamen. Wählen Sie &quot;Semikolon&quot;.</translation>
    </message>
    <message>
        <source>No line looks wrong.</source>
        <translation>Keine Zeile sieht falsch aus.</translation>
    </message>
    <message>
        <source>1 line looks wrong. Nothing is added until you choose.</source>
        <translation>1 Zeile sieht falsch aus. Nichts wird hinzugefügt, bevor Sie wählen.</translation>
    </message>
    <message>
        <source>%1 lines look wrong. Nothing is added until you choose.</source>
        <translation>%1 Zeilen sehen falsch aus. Nichts wird hinzugefügt, bevor Sie wählen.</translation>
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
    <message>
        <source>Password Files (.htpasswd *.htpasswd htpasswd)</source>
        <translation>Kennwortdateien (.htpasswd *.htpasswd htpasswd)</translation>
    </message>
    <message>
        <source>All Files (*)</source>
        <translation>Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Line %1 of the file has the login &quot;%2&quot;, and the database has &quot;%3&quot;. Web servers tell logins apart by case, this database does not. Replace the user with the line from the file?</source>
        <translation>Zeile %1 der Datei hat den Anmeldenamen „%2“, und die Datenbank hat „%3“. Webserver unterscheiden Anmeldenamen nach Groß-/Kleinschreibung, diese Datenbank nicht. Den Benutzer durch die Zeile aus der Datei ersetzen?</translation>
    </message>
    <message>
        <source>Line %1 of the file has the login &quot;%2&quot;, and line %3 has &quot;%4&quot;. Web servers tell logins apart by case, this database does not. Replace the user of line %3 with line %1?</source>
        <translation>Zeile %1 der Datei hat den Anmeldenamen „%2“, und Zeile %3 hat „%4“. Webserver unterscheiden Anmeldenamen nach Groß-/Kleinschreibung, diese Datenbank nicht. Den Benutzer aus Zeile %3 durch Zeile %1 ersetzen?</translation>
    </message>
    <message>
        <source>Change Password</source>
        <translation>Kennwort ändern</translation>
    </message>
    <message>
        <source>Password of %1 copied; the clipboard is cleared in %2 s</source>
        <translation>Kennwort von %1 kopiert; die Zwischenablage wird in %2 s geleert</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>users.udx</source>
        <translation>benutzer.udx</translation>
    </message>
    <message>
        <source>Ena&amp;ble</source>
        <translation>Ak&amp;tivieren</translation>
    </message>
    <message>
        <source>D&amp;isable</source>
        <translation>&amp;Deaktivieren</translation>
    </message>
    <message>
        <source>Change &amp;Password...</source>
        <translation>Kennwort &amp;ändern...</translation>
    </message>
    <message>
        <source>Cop&amp;y Password</source>
        <translation>Kennwort k&amp;opieren</translation>
    </message>
    <message>
        <source>&amp;Filter Users</source>
        <translation>Benutzer f&amp;iltern</translation>
    </message>
    <message>
        <source>Enable</source>
        <translation>Aktivieren</translation>
    </message>
    <message>
        <source>Disable</source>
        <translation>Deaktivieren</translation>
    </message>
    <message>
        <source>Set expiration date</source>
        <translation>Ablaufdatum festlegen</translation>
    </message>
    <message>
        <source>Change password</source>
        <translation>Kennwort ändern</translation>
    </message>
    <message>
        <source>%1 (plus %2 hidden)</source>
        <translation>%1 (und %2 ausgeblendet)</translation>
    </message>
    <message>
        <source>Opened %1: %2</source>
        <translation>%1 geöffnet: %2</translation>
    </message>
    <message>
        <source>Saved</source>
        <translation>Gespeichert</translation>
    </message>
    <message>
        <source>Import Users</source>
        <translation>Benutzer importieren</translation>
    </message>
    <message>
        <source>%1.

Add them again (the password file holds only the last of users with the same login), or skip them?</source>
        <translation>%1.

Sie erneut hinzufügen (die Kennwortdatei enthält von Benutzern mit gleichem Anmeldenamen nur den letzten) oder überspringen?</translation>
    </message>
    <message>
        <source>&amp;Add Again</source>
        <translation>&amp;Erneut hinzufügen</translation>
    </message>
    <message>
        <source>&amp;Skip Them</source>
        <translation>Ü&amp;berspringen</translation>
    </message>
    <message>
        <source>Res&amp;tore Previous Password File...</source>
        <translation>Frühere Kennwortdatei &amp;wiederherstellen...</translation>
    </message>
    <message>
        <source>Expiring &amp;within...</source>
        <translation>Ablaufend &amp;innerhalb...</translation>
    </message>
    <message>
        <source>Send C&amp;redentials...</source>
        <translation>&amp;Zugangsdaten senden...</translation>
    </message>
    <message>
        <source>&amp;Group</source>
        <translation>&amp;Gruppe</translation>
    </message>
    <message>
        <source>&amp;All Groups</source>
        <translation>&amp;Alle Gruppen</translation>
    </message>
    <message>
        <source>Expiring Users</source>
        <translation>Ablaufende Benutzer</translation>
    </message>
    <message>
        <source>Show the enabled users whose access ends within this many days:</source>
        <translation>Die aktivierten Benutzer zeigen, deren Zugang innerhalb so vieler Tage endet:</translation>
    </message>
    <message>
        <source>&amp;Encrypt Database...</source>
        <translation>Datenbank &amp;verschlüsseln...</translation>
    </message>
    <message>
        <source>Change &amp;Master Password...</source>
        <translation>&amp;Master-Kennwort ändern...</translation>
    </message>
    <message>
        <source>Remove Encr&amp;yption...</source>
        <translation>Verschlüsselung &amp;aufheben...</translation>
    </message>
    <message>
        <source>Encrypt Database</source>
        <translation>Datenbank verschlüsseln</translation>
    </message>
    <message>
        <source>Encrypted: the database is saved encrypted from now on</source>
        <translation>Verschlüsselt: die Datenbank wird von nun an verschlüsselt gespeichert</translation>
    </message>
    <message>
        <source>Change Master Password</source>
        <translation>Master-Kennwort ändern</translation>
    </message>
    <message>
        <source>The master password is changed with the next save</source>
        <translation>Das Master-Kennwort wird beim nächsten Speichern geändert</translation>
    </message>
    <message>
        <source>Encryption removed: the database is saved as plain text from now on</source>
        <translation>Verschlüsselung entfernt: die Datenbank wird von nun an unverschlüsselt gespeichert</translation>
    </message>
    <message>
        <source>&amp;Keep Clear Passwords</source>
        <translation>&amp;Klartext-Kennwörter behalten</translation>
    </message>
    <message>
        <source>The database is locked.</source>
        <translation>Die Datenbank ist gesperrt.</translation>
    </message>
    <message>
        <source>&amp;Unlock...</source>
        <translation>&amp;Entsperren...</translation>
    </message>
    <message>
        <source>Keep Clear Passwords</source>
        <translation>Klartext-Kennwörter behalten</translation>
    </message>
    <message>
        <source>Keep no clear passwords in this database? Every clear password is replaced by its hash now, and new passwords are kept only as their hashes. This cannot be undone.</source>
        <translation>Keine Klartext-Kennwörter mehr in dieser Datenbank behalten? Jedes Klartext-Kennwort wird jetzt durch seinen Hash ersetzt, und neue Kennwörter werden nur noch als Hash behalten. Das lässt sich nicht rückgängig machen.</translation>
    </message>
    <message>
        <source>Passwords replaced by their hashes: %1</source>
        <translation>Kennwörter durch ihren Hash ersetzt: %1</translation>
    </message>
    <message>
        <source>Filter: %1 — %2 of %3</source>
        <translation>Filter: %1 — %2 von %3</translation>
    </message>
    <message>
        <source>1 line left out</source>
        <translation>1 Zeile ausgelassen</translation>
    </message>
    <message>
        <source>%1 lines left out</source>
        <translation>%1 Zeilen ausgelassen</translation>
    </message>
    <message>
        <source>Edit Users</source>
        <translation>Benutzer bearbeiten</translation>
    </message>
    <message>
        <source> (encrypted)</source>
        <translation> (verschlüsselt)</translation>
    </message>
    <message>
        <source>The hashes are made in one form, and the password file can then be written in that form only. %1 is quick to break where the file is stolen; bcrypt is not. Hash with bcrypt?</source>
        <translation>Die Hashes entstehen in einer Form, und die Kennwortdatei lässt sich dann nur noch in dieser Form schreiben. %1 ist schnell gebrochen, wo die Datei gestohlen wird; bcrypt nicht. Mit bcrypt hashen?</translation>
    </message>
    <message>
        <source>Hash with &amp;bcrypt</source>
        <translation>Mit &amp;bcrypt hashen</translation>
    </message>
    <message>
        <source>Hash with &amp;%1</source>
        <translation>Mit &amp;%1 hashen</translation>
    </message>
    <message>
        <source>&amp;Keep clear passwords</source>
        <translation>&amp;Klartext-Kennwörter behalten</translation>
    </message>
</context>
<context>
    <name>quorvane::TfrmMasterPassword</name>
    <message>
        <source>Master Password</source>
        <translation>Master-Kennwort</translation>
    </message>
    <message>
        <source>%1 is encrypted. Enter its master password to open it.</source>
        <translation>%1 ist verschlüsselt. Geben Sie das Master-Kennwort ein, um sie zu öffnen.</translation>
    </message>
    <message>
        <source>&amp;Master password</source>
        <translation>&amp;Master-Kennwort</translation>
    </message>
    <message>
        <source>&amp;Key file</source>
        <translation>&amp;Schlüsseldatei</translation>
    </message>
</context>
<context>
    <name>quorvane::TfrmNewMasterPassword</name>
    <message>
        <source>Without this password (and the key file, when you choose one) nobody can open the database, you neither. Keep it safe.</source>
        <translation>Ohne dieses Kennwort (und die Schlüsseldatei, wenn Sie eine wählen) kann niemand die Datenbank öffnen, auch Sie nicht. Bewahren Sie es sicher auf.</translation>
    </message>
    <message>
        <source>The two passwords differ.</source>
        <translation>Die beiden Kennwörter unterscheiden sich.</translation>
    </message>
    <message>
        <source>&amp;New master password</source>
        <translation>&amp;Neues Master-Kennwort</translation>
    </message>
    <message>
        <source>&amp;Repeat it</source>
        <translation>&amp;Wiederholen</translation>
    </message>
    <message>
        <source>&amp;Key file (optional)</source>
        <translation>&amp;Schlüsseldatei (optional)</translation>
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
    <message>
        <source>&amp;Lock after idle time:</source>
        <translation>&amp;Sperren nach Leerlaufzeit:</translation>
    </message>
    <message>
        <source>An encrypted database is hidden and cleared from memory until its master password is given again</source>
        <translation>Eine verschlüsselte Datenbank wird ausgeblendet und aus dem Speicher gelöscht, bis ihr Master-Kennwort wieder eingegeben wird</translation>
    </message>
    <message>
        <source> minutes</source>
        <translation> Minuten</translation>
    </message>
    <message>
        <source>For users added from now on; 0: they do not expire</source>
        <translation>Für Benutzer, die ab jetzt hinzugefügt werden; 0: sie laufen nicht ab</translation>
    </message>
</context>
<context>
    <name>quorvane::TfrmRestore</name>
    <message>
        <source>Restore Previous Password File</source>
        <translation>Frühere Kennwortdatei wiederherstellen</translation>
    </message>
    <message>
        <source>The database names no password file yet.</source>
        <translation>Die Datenbank nennt noch keine Kennwortdatei.</translation>
    </message>
    <message>
        <source>No earlier versions of %1 are kept.</source>
        <translation>Von %1 sind keine früheren Fassungen aufbewahrt.</translation>
    </message>
    <message>
        <source>Earlier versions of %1, newest first:</source>
        <translation>Frühere Fassungen von %1, die neueste zuerst:</translation>
    </message>
    <message>
        <source>damaged</source>
        <translation>beschädigt</translation>
    </message>
    <message>
        <source>another master password</source>
        <translation>anderes Master-Kennwort</translation>
    </message>
    <message>
        <source>Replaced</source>
        <translation>Ersetzt</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Users</source>
        <translation>Benutzer</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 Bytes</translation>
    </message>
    <message>
        <source>&amp;Restore</source>
        <translation>&amp;Wiederherstellen</translation>
    </message>
    <message>
        <source>%1 changed since this database last wrote it (%2 users added, %3 removed, %4 changed there). Put the earlier version back all the same? What is there now is kept too.</source>
        <translation>%1 hat sich geändert, seit diese Datenbank die Datei zuletzt geschrieben hat (dort %2 Benutzer hinzugefügt, %3 entfernt, %4 geändert). Die frühere Fassung trotzdem wiederherstellen? Was jetzt dort ist, wird ebenfalls aufbewahrt.</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>%1 is back as it was on %2</source>
        <translation>%1 ist wieder so wie am %2</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>&amp;Target:</source>
        <translation>&amp;Ziel:</translation>
    </message>
    <message>
        <source>Password for %1 on %2</source>
        <translation>Kennwort für %1 auf %2</translation>
    </message>
    <message>
        <source>Passphrase of the key file %1</source>
        <translation>Passphrase der Schlüsseldatei %1</translation>
    </message>
</context>
<context>
    <name>quorvane::TfrmSeriesResult</name>
    <message>
        <source>New Users</source>
        <translation>Neue Benutzer</translation>
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
    <message>
        <source>1 user created. Hand out this login and password; the database keeps the password too.</source>
        <translation>1 Benutzer angelegt. Geben Sie diesen Anmeldenamen und dieses Kennwort weiter; die Datenbank behält das Kennwort ebenfalls.</translation>
    </message>
    <message>
        <source>%1 users created. Hand out these logins and passwords; the database keeps the passwords too.</source>
        <translation>%1 Benutzer angelegt. Geben Sie diese Anmeldenamen und Kennwörter weiter; die Datenbank behält die Kennwörter ebenfalls.</translation>
    </message>
    <message>
        <source>Send C&amp;redentials...</source>
        <translation>&amp;Zugangsdaten senden...</translation>
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
        <translation>E-&amp;Mail</translation>
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
    <message>
        <source>Already exists</source>
        <translation>Gibt es schon</translation>
    </message>
    <message>
        <source>Names separated by commas, such as staff, editors</source>
        <translation>Namen durch Kommas getrennt, etwa staff, editors</translation>
    </message>
    <message>
        <source>Gro&amp;ups</source>
        <translation>Gr&amp;uppen</translation>
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
        <source> Test </source>
        <translation> Test </translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source> Ca&amp;se </source>
        <translation> &amp;Schreibung </translation>
    </message>
    <message>
        <source> C&amp;hars type </source>
        <translation> &amp;Zeichenart </translation>
    </message>
    <message>
        <source>&amp;Test</source>
        <translation>&amp;Testen</translation>
    </message>
    <message>
        <source>User &amp;count</source>
        <translation>&amp;Anzahl Benutzer</translation>
    </message>
    <message>
        <source>L&amp;ength</source>
        <translation>&amp;Länge</translation>
    </message>
    <message>
        <source> &amp;Login </source>
        <translation> Anmelde&amp;name </translation>
    </message>
    <message>
        <source> &amp;Password </source>
        <translation> &amp;Kennwort </translation>
    </message>
    <message>
        <source>Lo&amp;gin</source>
        <translation>Anmel&amp;dename</translation>
    </message>
    <message>
        <source>Pass&amp;word</source>
        <translation>Kenn&amp;wort</translation>
    </message>
    <message>
        <source> C&amp;ase </source>
        <translation> S&amp;chreibung </translation>
    </message>
    <message>
        <source> Cha&amp;rs type </source>
        <translation> Zeic&amp;henart </translation>
    </message>
    <message>
        <source>Le&amp;ngth</source>
        <translation>Län&amp;ge</translation>
    </message>
    <message>
        <source>none</source>
        <translation>keine</translation>
    </message>
    <message>
        <source>N&amp;umbered (prefix 01, 02, ...)</source>
        <translation>N&amp;ummeriert (Präfix 01, 02, ...)</translation>
    </message>
    <message>
        <source>Lea&amp;ve out I, l, 1, O and 0</source>
        <translation>I, l, 1, O und 0 &amp;vermeiden</translation>
    </message>
    <message>
        <source>E&amp;xpire on</source>
        <translation>Läuft a&amp;b am</translation>
    </message>
    <message>
        <source> Every user </source>
        <translation> Jeder Benutzer </translation>
    </message>
    <message>
        <source>Login pre&amp;fix</source>
        <translation>&amp;Präfix des Anmeldenamens</translation>
    </message>
    <message>
        <source>Gr&amp;oups</source>
        <translation>G&amp;ruppen</translation>
    </message>
</context>
</TS>
