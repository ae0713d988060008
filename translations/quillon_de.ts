<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>About</name>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>BusyIndicator</name>
    <message>
        <source>Busy</source>
        <translation>Beschäftigt</translation>
    </message>
</context>
<context>
    <name>DesktopIntegration</name>
    <message>
        <source>Show</source>
        <translation>Anzeigen</translation>
    </message>
</context>
<context>
    <name>EULA</name>
    <message>
        <source>End-User License Agreement</source>
        <translation>Endbenutzer-Lizenzvertrag</translation>
    </message>
    <message>
        <source>Print...</source>
        <translation>Drucken …</translation>
    </message>
    <message>
        <source>Save as PDF...</source>
        <translation>Als PDF speichern …</translation>
    </message>
    <message>
        <source>Disagree</source>
        <translation>Ablehnen</translation>
    </message>
    <message>
        <source>Agree</source>
        <translation>Zustimmen</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
</context>
<context>
    <name>Edition1Window</name>
    <message>
        <source>Add Files</source>
        <translation>Dateien hinzufügen</translation>
    </message>
    <message>
        <source>Add image or TIFF files to the list</source>
        <translation>Bild- oder TIFF-Dateien zur Liste hinzufügen</translation>
    </message>
    <message>
        <source>Add Folder</source>
        <translation>Ordner hinzufügen</translation>
    </message>
    <message>
        <source>Add the images of a folder</source>
        <translation>Die Bilder eines Ordners hinzufügen</translation>
    </message>
    <message>
        <source>Include Subfolders</source>
        <translation>Unterordner einbeziehen</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>Importieren</translation>
    </message>
    <message>
        <source>Import a list of file paths</source>
        <translation>Eine Liste von Dateipfaden importieren</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Remove the selected files from the list</source>
        <translation>Die ausgewählten Dateien aus der Liste entfernen</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Suchen</translation>
    </message>
    <message>
        <source>Move Up</source>
        <translation>Nach oben</translation>
    </message>
    <message>
        <source>Move the selected files up (Ctrl+Up)</source>
        <translation>Die ausgewählten Dateien nach oben verschieben (Strg+Pfeil nach oben)</translation>
    </message>
    <message>
        <source>Move Down</source>
        <translation>Nach unten</translation>
    </message>
    <message>
        <source>Move the selected files down (Ctrl+Down)</source>
        <translation>Die ausgewählten Dateien nach unten verschieben (Strg+Pfeil nach unten)</translation>
    </message>
    <message>
        <source>Convert</source>
        <translation>Konvertieren</translation>
    </message>
    <message>
        <source>Convert the checked files</source>
        <translation>Die markierten Dateien konvertieren</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>Open the selected files</source>
        <translation>Die ausgewählten Dateien öffnen</translation>
    </message>
    <message>
        <source>Get Info</source>
        <translation>Informationen</translation>
    </message>
    <message>
        <source>Show the properties of the selected files</source>
        <translation>Die Eigenschaften der ausgewählten Dateien anzeigen</translation>
    </message>
    <message>
        <source>Show in Folder</source>
        <translation>Im Ordner anzeigen</translation>
    </message>
    <message>
        <source>Show the selected files in their folder</source>
        <translation>Die ausgewählten Dateien in ihrem Ordner anzeigen</translation>
    </message>
    <message>
        <source>Select All</source>
        <translation>Alle auswählen</translation>
    </message>
    <message>
        <source>Select all rows</source>
        <translation>Alle Zeilen auswählen</translation>
    </message>
    <message>
        <source>Deselect All</source>
        <translation>Auswahl aufheben</translation>
    </message>
    <message>
        <source>Select no row</source>
        <translation>Keine Zeile auswählen</translation>
    </message>
    <message>
        <source>Remove Selected</source>
        <translation>Ausgewählte entfernen</translation>
    </message>
    <message>
        <source>Remove All</source>
        <translation>Alle entfernen</translation>
    </message>
    <message>
        <source>Remove all files from the list</source>
        <translation>Alle Dateien aus der Liste entfernen</translation>
    </message>
    <message>
        <source>Conversion</source>
        <translation>Konvertierung</translation>
    </message>
    <message>
        <source>Output</source>
        <translation>Ausgabe</translation>
    </message>
    <message>
        <source>Toolbar</source>
        <translation>Werkzeugleiste</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Show or hide the settings</source>
        <translation>Die Einstellungen ein- oder ausblenden</translation>
    </message>
    <message>
        <source>List Tools</source>
        <translation>Listenwerkzeuge</translation>
    </message>
    <message>
        <source>Show or hide the list commands</source>
        <translation>Die Listenbefehle ein- oder ausblenden</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>Exportieren</translation>
    </message>
    <message>
        <source>Export the list</source>
        <translation>Die Liste exportieren</translation>
    </message>
    <message>
        <source>Logs</source>
        <translation>Protokolle</translation>
    </message>
    <message>
        <source>Open the folder of conversion logs</source>
        <translation>Den Ordner der Konvertierungsprotokolle öffnen</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>Open the Quillon Converter help</source>
        <translation>Die Hilfe zu Quillon Converter öffnen</translation>
    </message>
    <message>
        <source>Settings Hidden</source>
        <translation>Einstellungen ausgeblendet</translation>
    </message>
    <message>
        <source>More Toolbar Items</source>
        <translation>Weitere Werkzeugleisten-Elemente</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>About %1</source>
        <translation>Über %1</translation>
    </message>
    <message>
        <source>r</source>
        <comment>key letter of Remove</comment>
        <translation>e</translation>
    </message>
    <message>
        <source>i</source>
        <comment>key letter of Import</comment>
        <translation>i</translation>
    </message>
    <message>
        <source>f</source>
        <comment>key letter of Add Files</comment>
        <translation>h</translation>
    </message>
    <message>
        <source>o</source>
        <comment>key letter of Add Folder</comment>
        <translation>o</translation>
    </message>
    <message>
        <source>u</source>
        <comment>key letter of Include Subfolders</comment>
        <translation>u</translation>
    </message>
    <message>
        <source>c</source>
        <comment>key letter of Convert</comment>
        <translation>k</translation>
    </message>
    <message>
        <source>Output folder missing or invalid path!<byte value="xd"/>
Please select valid output folder.</source>
        <translation>Der Ausgabeordner fehlt oder der Pfad ist ungültig!<byte value="xd"/>
Bitte wählen Sie einen gültigen Ausgabeordner.</translation>
    </message>
    <message>
        <source>Output folder is non-writable!<byte value="xd"/>
Please select writable output folder.</source>
        <translation>In den Ausgabeordner kann nicht geschrieben werden!<byte value="xd"/>
Bitte wählen Sie einen beschreibbaren Ausgabeordner.</translation>
    </message>
    <message>
        <source>Select Output Folder:</source>
        <translation>Ausgabeordner auswählen:</translation>
    </message>
</context>
<context>
    <name>EditionWindow</name>
    <message>
        <source>Are you sure to remove all file(s)?</source>
        <translation>Sollen wirklich alle Dateien entfernt werden?</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Ja</translation>
    </message>
    <message>
        <source>No</source>
        <translation>Nein</translation>
    </message>
    <message>
        <source>Choose Output Folder : </source>
        <translation>Ausgabeordner auswählen: </translation>
    </message>
</context>
<context>
    <name>ImportFiles</name>
    <message>
        <source>Import File List</source>
        <translation>Dateiliste importieren</translation>
    </message>
    <message>
        <source>Add images by their paths: choose a text file that lists one path per line, or paste the paths below. Only BMP, JPEG, PNG, GIF and TIFF paths are kept.</source>
        <translation>Bilder über ihre Pfade hinzufügen: Wählen Sie eine Textdatei mit einem Pfad je Zeile, oder fügen Sie die Pfade unten ein. Nur Pfade von BMP-, JPEG-, PNG-, GIF- und TIFF-Dateien werden übernommen.</translation>
    </message>
    <message>
        <source>Import from a text File</source>
        <translation>Aus einer Textdatei importieren</translation>
    </message>
    <message>
        <source>Read the paths from a text file (one path per line)</source>
        <translation>Die Pfade aus einer Textdatei lesen (ein Pfad je Zeile)</translation>
    </message>
    <message>
        <source>Path of the text file</source>
        <translation>Pfad der Textdatei</translation>
    </message>
    <message>
        <source>Browse...</source>
        <translation>Durchsuchen …</translation>
    </message>
    <message>
        <source>Choose the text file to import</source>
        <translation>Die zu importierende Textdatei auswählen</translation>
    </message>
    <message>
        <source>Paste or type paths as Text</source>
        <translation>Pfade als Text einfügen oder eingeben</translation>
    </message>
    <message>
        <source>Paste or type the paths, one per line</source>
        <translation>Die Pfade einfügen oder eingeben, einen je Zeile</translation>
    </message>
    <message>
        <source>/home/me/Pictures/scan1.tif
/home/me/Pictures/photo.jpg</source>
        <translation>/home/ich/Bilder/scan1.tif
/home/ich/Bilder/foto.jpg</translation>
    </message>
    <message>
        <source>Paste from Clipboard</source>
        <translation>Aus der Zwischenablage einfügen</translation>
    </message>
    <message>
        <source>Replace the text with the image paths found on the clipboard</source>
        <translation>Den Text durch die Bildpfade in der Zwischenablage ersetzen</translation>
    </message>
    <message>
        <source>Total Files Found : 0</source>
        <translation>Gefundene Dateien: 0</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>Importieren</translation>
    </message>
    <message>
        <source>Add the listed images to the file list</source>
        <translation>Die aufgeführten Bilder zur Dateiliste hinzufügen</translation>
    </message>
</context>
<context>
    <name>ImportFilesWindowController</name>
    <message>
        <source> – Import File List</source>
        <translation> – Dateiliste importieren</translation>
    </message>
    <message>
        <source>F</source>
        <comment>key letter of Import from a text File (its last match)</comment>
        <translation>T</translation>
    </message>
    <message>
        <source>T</source>
        <comment>key letter of Paste or type paths as Text (its last match)</comment>
        <translation>P</translation>
    </message>
    <message>
        <source>p</source>
        <comment>key letter of Paste from Clipboard</comment>
        <translation>z</translation>
    </message>
    <message>
        <source>i</source>
        <comment>key letter of Import</comment>
        <translation>i</translation>
    </message>
    <message>
        <source>Total Files Found : %1</source>
        <translation>Gefundene Dateien: %1</translation>
    </message>
    <message>
        <source>Select Text File To Import:</source>
        <translation>Zu importierende Textdatei auswählen:</translation>
    </message>
    <message>
        <source>Text files (*.txt)</source>
        <translation>Textdateien (*.txt)</translation>
    </message>
    <message>
        <source>Please select file to import!</source>
        <translation>Bitte wählen Sie die zu importierende Datei!</translation>
    </message>
    <message>
        <source>Please paste file(s) path to import!</source>
        <translation>Bitte fügen Sie die Pfade der zu importierenden Dateien ein!</translation>
    </message>
    <message>
        <source>No File(s) Found!</source>
        <translation>Keine Dateien gefunden!</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Quillon Converter</source>
        <translation>Quillon Converter</translation>
    </message>
    <message>
        <source>Recently added folders: choosing one replaces the list with its files</source>
        <translation>Zuletzt hinzugefügte Ordner: Die Wahl eines Ordners ersetzt die Liste durch seine Dateien</translation>
    </message>
    <message>
        <source>Output</source>
        <translation>Ausgabe</translation>
    </message>
    <message>
        <source>Mode:</source>
        <translation>Modus:</translation>
    </message>
    <message>
        <source>File name:</source>
        <translation>Dateiname:</translation>
    </message>
    <message>
        <source>Compression:</source>
        <translation>Komprimierung:</translation>
    </message>
    <message>
        <source>Output folder:</source>
        <translation>Ausgabeordner:</translation>
    </message>
    <message>
        <source>After the run:</source>
        <translation>Nach dem Durchlauf:</translation>
    </message>
    <message>
        <source>Output Settings...</source>
        <translation>Ausgabeeinstellungen …</translation>
    </message>
    <message>
        <source>List</source>
        <translation>Liste</translation>
    </message>
    <message>
        <source>Rows</source>
        <translation>Zeilen</translation>
    </message>
    <message>
        <source>Select All</source>
        <translation>Alle auswählen</translation>
    </message>
    <message>
        <source>First Row Only</source>
        <translation>Nur erste Zeile</translation>
    </message>
    <message>
        <source>Remove Selected</source>
        <translation>Ausgewählte entfernen</translation>
    </message>
    <message>
        <source>Remove All...</source>
        <translation>Alle entfernen …</translation>
    </message>
    <message>
        <source>Check marks of selected rows</source>
        <translation>Markierungen der ausgewählten Zeilen</translation>
    </message>
    <message>
        <source>Check</source>
        <translation>Markieren</translation>
    </message>
    <message>
        <source>Uncheck</source>
        <translation>Demarkieren</translation>
    </message>
    <message>
        <source>Invert</source>
        <translation>Umkehren</translation>
    </message>
    <message>
        <source>Check marks of all rows</source>
        <translation>Markierungen aller Zeilen</translation>
    </message>
    <message>
        <source>Page Selection...</source>
        <translation>Seitenauswahl …</translation>
    </message>
    <message>
        <source>Pages of the selected TIFF files that are converted (F7)</source>
        <translation>Die Seiten der ausgewählten TIFF-Dateien, die konvertiert werden (F7)</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Stop adding files (the files found so far stay in the list)</source>
        <translation>Das Hinzufügen beenden (die bisher gefundenen Dateien bleiben in der Liste)</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>Edit</source>
        <translation>Bearbeiten</translation>
    </message>
    <message>
        <source>Convert</source>
        <translation>Konvertieren</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>About Quillon Converter</source>
        <translation>Über Quillon Converter</translation>
    </message>
    <message>
        <source>Open Logs Folder</source>
        <translation>Protokollordner öffnen</translation>
    </message>
    <message>
        <source>Quit Quillon Converter</source>
        <translation>Quillon Converter beenden</translation>
    </message>
    <message>
        <source>Add Files...</source>
        <translation>Dateien hinzufügen …</translation>
    </message>
    <message>
        <source>Add Folder...</source>
        <translation>Ordner hinzufügen …</translation>
    </message>
    <message>
        <source>Include Subfolders</source>
        <translation>Unterordner einbeziehen</translation>
    </message>
    <message>
        <source>Import List...</source>
        <translation>Liste importieren …</translation>
    </message>
    <message>
        <source>Export List...</source>
        <translation>Liste exportieren …</translation>
    </message>
    <message>
        <source>Select First Row</source>
        <translation>Erste Zeile auswählen</translation>
    </message>
    <message>
        <source>Check Selected Files</source>
        <translation>Ausgewählte Dateien markieren</translation>
    </message>
    <message>
        <source>Uncheck Selected Files</source>
        <translation>Ausgewählte Dateien demarkieren</translation>
    </message>
    <message>
        <source>Invert Check Marks of Selected Files</source>
        <translation>Markierungen der ausgewählten Dateien umkehren</translation>
    </message>
    <message>
        <source>Check All Files</source>
        <translation>Alle Dateien markieren</translation>
    </message>
    <message>
        <source>Uncheck All Files</source>
        <translation>Alle Dateien demarkieren</translation>
    </message>
    <message>
        <source>Invert All Check Marks</source>
        <translation>Alle Markierungen umkehren</translation>
    </message>
    <message>
        <source>Remove Selected Files</source>
        <translation>Ausgewählte Dateien entfernen</translation>
    </message>
    <message>
        <source>Remove All Files...</source>
        <translation>Alle Dateien entfernen …</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>Show in Folder</source>
        <translation>Im Ordner anzeigen</translation>
    </message>
    <message>
        <source>Get Info</source>
        <translation>Informationen</translation>
    </message>
    <message>
        <source>Move Up</source>
        <translation>Nach oben</translation>
    </message>
    <message>
        <source>Move Down</source>
        <translation>Nach unten</translation>
    </message>
    <message>
        <source>Quillon Converter Help</source>
        <translation>Hilfe zu Quillon Converter</translation>
    </message>
    <message>
        <source>Quillon Converter Website</source>
        <translation>Website von Quillon Converter</translation>
    </message>
    <message>
        <source>Rate Quillon Converter...</source>
        <translation>Quillon Converter bewerten …</translation>
    </message>
    <message>
        <source>Write a Review...</source>
        <translation>Rezension schreiben …</translation>
    </message>
</context>
<context>
    <name>OutputPlan</name>
    <message>
        <source>Single image to single TIFF</source>
        <translation>Jedes Bild in eine eigene TIFF-Datei</translation>
    </message>
    <message>
        <source>Multiple images to single multi-Page TIFF</source>
        <translation>Mehrere Bilder in eine mehrseitige TIFF-Datei</translation>
    </message>
    <message>
        <source>Group of multiple images to multi-page TIFF in group</source>
        <translation>Bildgruppen in je eine mehrseitige TIFF-Datei</translation>
    </message>
</context>
<context>
    <name>OutputSettings</name>
    <message>
        <source>Output Settings</source>
        <translation>Ausgabeeinstellungen</translation>
    </message>
    <message>
        <source>How the checked images become TIFF files</source>
        <translation>Wie aus den markierten Bildern TIFF-Dateien werden</translation>
    </message>
    <message>
        <source>1. Single image to single TIFF</source>
        <translation>1. Jedes Bild in eine eigene TIFF-Datei</translation>
    </message>
    <message>
        <source>Each checked image becomes a TIFF file of its own, named after the image.</source>
        <translation>Jedes markierte Bild wird zu einer eigenen TIFF-Datei, benannt nach dem Bild.</translation>
    </message>
    <message>
        <source>2. Multiple images to single multi-Page TIFF</source>
        <translation>2. Mehrere Bilder in eine mehrseitige TIFF-Datei</translation>
    </message>
    <message>
        <source>File name:</source>
        <translation>Dateiname:</translation>
    </message>
    <message>
        <source>name of the multi-page TIFF, without .tiff</source>
        <translation>Name der mehrseitigen TIFF-Datei, ohne .tiff</translation>
    </message>
    <message>
        <source>3. Group of multiple images to multi-page TIFF in group</source>
        <translation>3. Bildgruppen in je eine mehrseitige TIFF-Datei</translation>
    </message>
    <message>
        <source>Images per file:</source>
        <translation>Bilder je Datei:</translation>
    </message>
    <message>
        <source>Images per file</source>
        <translation>Bilder je Datei</translation>
    </message>
    <message>
        <source>Base name:</source>
        <translation>Basisname:</translation>
    </message>
    <message>
        <source>files are named base name 1, 2, ...</source>
        <translation>Dateien heißen Basisname 1, 2, …</translation>
    </message>
    <message>
        <source>Compression:</source>
        <translation>Komprimierung:</translation>
    </message>
    <message>
        <source>Compression</source>
        <translation>Komprimierung</translation>
    </message>
    <message>
        <source>Automatic: CCITT Group 4 for pages that are already black and white, LZW for all others</source>
        <translation>Automatisch: CCITT Gruppe 4 für Seiten, die schon schwarzweiß sind, LZW für alle anderen</translation>
    </message>
    <message>
        <source>None</source>
        <translation>Keine</translation>
    </message>
    <message>
        <source>CCITT Group 3 fax</source>
        <translation>CCITT Gruppe 3 (Fax)</translation>
    </message>
    <message>
        <source>CCITT Group 4 fax</source>
        <translation>CCITT Gruppe 4 (Fax)</translation>
    </message>
    <message>
        <source>LZW</source>
        <translation>LZW</translation>
    </message>
    <message>
        <source>PackBits</source>
        <translation>PackBits</translation>
    </message>
    <message>
        <source>Automatic (G4 or LZW per page)</source>
        <translation>Automatisch (G4 oder LZW je Seite)</translation>
    </message>
    <message>
        <source>Files &amp;at once:</source>
        <translation>Dateien &amp;gleichzeitig:</translation>
    </message>
    <message>
        <source>How many files are converted at the same time (one per processor core is fastest; 1 converts one after another)</source>
        <translation>Wie viele Dateien gleichzeitig konvertiert werden (eine je Prozessorkern ist am schnellsten; 1 konvertiert nacheinander)</translation>
    </message>
    <message>
        <source>Files at once</source>
        <translation>Dateien gleichzeitig</translation>
    </message>
    <message>
        <source>&amp;Black and white:</source>
        <translation>&amp;Schwarzweiß:</translation>
    </message>
    <message>
        <source>Black and white conversion</source>
        <translation>Umwandlung in Schwarzweiß</translation>
    </message>
    <message>
        <source>How CCITT Group 3 and Group 4 turn pages that are not black and white into black and white</source>
        <translation>Wie CCITT Gruppe 3 und Gruppe 4 Seiten, die nicht schwarzweiß sind, in Schwarzweiß umwandeln</translation>
    </message>
    <message>
        <source>Automatic threshold</source>
        <translation>Automatischer Schwellenwert</translation>
    </message>
    <message>
        <source>Fixed threshold</source>
        <translation>Fester Schwellenwert</translation>
    </message>
    <message>
        <source>Ordered dithering</source>
        <translation>Geordnete Rasterung</translation>
    </message>
    <message>
        <source>Error diffusion dithering</source>
        <translation>Rasterung mit Fehlerdiffusion</translation>
    </message>
    <message>
        <source>Le&amp;vel:</source>
        <translation>Sch&amp;welle:</translation>
    </message>
    <message>
        <source>Threshold level</source>
        <translation>Schwellenwert</translation>
    </message>
    <message>
        <source>Pixels this dark or darker turn black (0 is black, 255 white)</source>
        <translation>Pixel, die so dunkel oder dunkler sind, werden schwarz (0 ist Schwarz, 255 Weiß)</translation>
    </message>
    <message>
        <source>Black and white preview</source>
        <translation>Schwarzweiß-Vorschau</translation>
    </message>
    <message>
        <source>If a &amp;name is taken:</source>
        <translation>Bei &amp;Namenskonflikt:</translation>
    </message>
    <message>
        <source>If an output name is taken</source>
        <translation>Wenn ein Ausgabename vergeben ist</translation>
    </message>
    <message>
        <source>What happens when a file of the output name is in the folder, or an earlier file of the same run has that name</source>
        <translation>Was geschieht, wenn im Ordner schon eine Datei mit dem Ausgabenamen liegt oder eine frühere Datei desselben Durchlaufs diesen Namen hat</translation>
    </message>
    <message>
        <source>Replace the file</source>
        <translation>Die Datei ersetzen</translation>
    </message>
    <message>
        <source>Keep both (number the new one)</source>
        <translation>Beide behalten (die neue nummerieren)</translation>
    </message>
    <message>
        <source>Skip the new file</source>
        <translation>Die neue Datei überspringen</translation>
    </message>
    <message>
        <source>Output folder:</source>
        <translation>Ausgabeordner:</translation>
    </message>
    <message>
        <source>Choose...</source>
        <translation>Auswählen …</translation>
    </message>
    <message>
        <source>Keep as default output folder</source>
        <translation>Als Standardausgabeordner behalten</translation>
    </message>
    <message>
        <source>Open output folder after conversion</source>
        <translation>Ausgabeordner nach der Konvertierung öffnen</translation>
    </message>
    <message>
        <source>Remove the checked files from the list after the run</source>
        <translation>Markierte Dateien danach aus der Liste entfernen</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Deflate</source>
        <translation>Deflate</translation>
    </message>
    <message>
        <source>Zstandard</source>
        <translation>Zstandard</translation>
    </message>
    <message>
        <source>JPEG</source>
        <translation>JPEG</translation>
    </message>
    <message>
        <source>Lev&amp;el:</source>
        <translation>S&amp;tufe:</translation>
    </message>
    <message>
        <source>Compression level</source>
        <translation>Kompressionsstufe</translation>
    </message>
    <message>
        <source>&amp;Quality:</source>
        <translation>&amp;Qualität:</translation>
    </message>
    <message>
        <source>JPEG quality</source>
        <translation>JPEG-Qualität</translation>
    </message>
    <message>
        <source>Resolu&amp;tion:</source>
        <translation>&amp;Auflösung:</translation>
    </message>
    <message>
        <source>Resolution</source>
        <translation>Auflösung</translation>
    </message>
    <message>
        <source>The dots per inch written on every page; the pixels are not resampled</source>
        <translation>Die Punkte pro Zoll, die auf jeder Seite eingetragen werden; die Pixel werden nicht neu berechnet</translation>
    </message>
    <message>
        <source>Keep each image&apos;s own</source>
        <translation>Aus dem Bild übernehmen</translation>
    </message>
    <message>
        <source>Set to</source>
        <translation>Festlegen auf</translation>
    </message>
    <message>
        <source>Resolution in dots per inch</source>
        <translation>Auflösung in Punkten pro Zoll</translation>
    </message>
    <message>
        <source> dpi</source>
        <translation> dpi</translation>
    </message>
    <message>
        <source>Keep metadata</source>
        <translation>Metadaten behalten</translation>
    </message>
    <message>
        <source>Carries each image&apos;s EXIF, XMP and IPTC data to its pages</source>
        <translation>Übernimmt die EXIF-, XMP- und IPTC-Daten jedes Bildes in seine Seiten</translation>
    </message>
    <message>
        <source>Recreate the folders below</source>
        <translation>Ordnerstruktur nachbilden unterhalb von</translation>
    </message>
    <message>
        <source>Folders recreated</source>
        <translation>Nachgebildete Ordner</translation>
    </message>
</context>
<context>
    <name>PageSelection</name>
    <message>
        <source>Page Selection</source>
        <translation>Seitenauswahl</translation>
    </message>
    <message>
        <source>All pages</source>
        <translation>Alle Seiten</translation>
    </message>
    <message>
        <source>Pages:</source>
        <translation>Seiten:</translation>
    </message>
    <message>
        <source>Pages and page ranges</source>
        <translation>Seiten und Seitenbereiche</translation>
    </message>
    <message>
        <source>for example 1-3, 8, 12-10</source>
        <translation>zum Beispiel 1-3, 8, 12-10</translation>
    </message>
    <message>
        <source>Pages and page ranges, separated by commas. A range may run backwards.</source>
        <translation>Seiten und Seitenbereiche, durch Kommas getrennt. Ein Bereich darf rückwärts laufen.</translation>
    </message>
    <message>
        <source>Step:</source>
        <translation>Schritt:</translation>
    </message>
    <message>
        <source>Every n-th page from the first</source>
        <translation>Jede n-te Seite ab der ersten</translation>
    </message>
    <message>
        <source>every n-th page, starting with the first page</source>
        <translation>jede n-te Seite, beginnend mit der ersten Seite</translation>
    </message>
    <message>
        <source>Step back:</source>
        <translation>Schritt zurück:</translation>
    </message>
    <message>
        <source>Every n-th page from the last</source>
        <translation>Jede n-te Seite ab der letzten</translation>
    </message>
    <message>
        <source>every n-th page, starting with the last page</source>
        <translation>jede n-te Seite, beginnend mit der letzten Seite</translation>
    </message>
</context>
<context>
    <name>Process</name>
    <message>
        <source>%1 sec(s) </source>
        <translation>%1 Sek. </translation>
    </message>
    <message>
        <source>%1 hr(s) </source>
        <translation>%1 Std. </translation>
    </message>
    <message>
        <source>%1 min(s) </source>
        <translation>%1 Min. </translation>
    </message>
    <message>
        <source>Total Time Taken : %1 %2/%3</source>
        <translation>Benötigte Zeit: %1 %2/%3</translation>
    </message>
    <message>
        <source>In Process...</source>
        <translation>In Arbeit …</translation>
    </message>
    <message>
        <source>%1 unable able to create some of the files!<byte value="xd"/>
Please check log for more information.</source>
        <translation>%1 konnte einige der Dateien nicht erstellen!<byte value="xd"/>
Nähere Informationen finden Sie im Protokoll.</translation>
    </message>
    <message>
        <source>Process cancelled!</source>
        <translation>Vorgang abgebrochen!</translation>
    </message>
    <message>
        <source>All files created successfully.</source>
        <translation>Alle Dateien wurden erfolgreich erstellt.</translation>
    </message>
    <message>
        <source>Writing File On Disk...</source>
        <translation>Datei wird auf den Datenträger geschrieben …</translation>
    </message>
    <message numerus="yes">
        <source>Total %n files created successfully.</source>
        <translation>
            <numerusform>Insgesamt %n Datei erfolgreich erstellt.</numerusform>
            <numerusform>Insgesamt %n Dateien erfolgreich erstellt.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>Progress</name>
    <message>
        <source>Converting</source>
        <translation>Konvertierung läuft</translation>
    </message>
    <message>
        <source>Converting images to TIFF...</source>
        <translation>Bilder werden in TIFF konvertiert …</translation>
    </message>
    <message>
        <source>File in process:</source>
        <translation>Datei in Arbeit:</translation>
    </message>
    <message>
        <source>Output file:</source>
        <translation>Ausgabedatei:</translation>
    </message>
    <message>
        <source>%v of %m</source>
        <translation>%v von %m</translation>
    </message>
    <message>
        <source>View Log</source>
        <translation>Protokoll anzeigen</translation>
    </message>
    <message>
        <source>Retry Failed...</source>
        <translation>Fehlgeschlagene wiederholen …</translation>
    </message>
    <message>
        <source>Retry failed sources</source>
        <translation>Fehlgeschlagene Quellen wiederholen</translation>
    </message>
    <message>
        <source>Check the sources that could not be converted, and only those, so that Convert tries them again</source>
        <translation>Nur die Quellen markieren, die nicht konvertiert werden konnten, damit „Konvertieren“ sie erneut versucht</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>fixed threshold %1</source>
        <translation>fester Schwellenwert %1</translation>
    </message>
    <message>
        <source>ordered dithering</source>
        <translation>geordnete Rasterung</translation>
    </message>
    <message>
        <source>error diffusion dithering</source>
        <translation>Rasterung mit Fehlerdiffusion</translation>
    </message>
    <message>
        <source>automatic threshold</source>
        <translation>automatischer Schwellenwert</translation>
    </message>
</context>
<context>
    <name>ReviewUs</name>
    <message>
        <source>Review Quillon Converter</source>
        <translation>Quillon Converter bewerten</translation>
    </message>
    <message>
        <source>&lt;b&gt;Enjoying Quillon Converter?&lt;/b&gt;</source>
        <translation>&lt;b&gt;Gefällt Ihnen Quillon Converter?&lt;/b&gt;</translation>
    </message>
    <message>
        <source>You have converted a good number of files with Quillon Converter. If it has been useful to you, please take a minute to write a review. Your feedback helps us make it better.</source>
        <translation>Sie haben schon viele Dateien mit Quillon Converter konvertiert. Wenn er Ihnen nützlich war, nehmen Sie sich bitte eine Minute Zeit für eine Rezension. Ihre Rückmeldung hilft uns, ihn zu verbessern.</translation>
    </message>
    <message>
        <source>Don&apos;t ask me again</source>
        <translation>Nicht mehr fragen</translation>
    </message>
    <message>
        <source>Not Now</source>
        <translation>Nicht jetzt</translation>
    </message>
    <message>
        <source>Write a Review</source>
        <translation>Rezension schreiben</translation>
    </message>
</context>
<context>
    <name>SelectionRange</name>
    <message>
        <source>By Range(s)(%1)</source>
        <translation>Nach Bereichen (%1)</translation>
    </message>
    <message>
        <source>By Steps %1 every nth page.</source>
        <translation>In Schritten von %1, jede n-te Seite.</translation>
    </message>
    <message>
        <source>By Reversed Steps %1 every nth page.</source>
        <translation>In Schritten von %1 rückwärts, jede n-te Seite.</translation>
    </message>
    <message>
        <source>All Page(s)</source>
        <translation>Alle Seiten</translation>
    </message>
</context>
<context>
    <name>SplitView</name>
    <message>
        <source>Divider</source>
        <translation>Trennlinie</translation>
    </message>
</context>
<context>
    <name>Stepper</name>
    <message>
        <source>Increase</source>
        <translation>Erhöhen</translation>
    </message>
    <message>
        <source>Decrease</source>
        <translation>Verringern</translation>
    </message>
</context>
<context>
    <name>TimeLeft</name>
    <message>
        <source>less than 5 s</source>
        <translation>weniger als 5 s</translation>
    </message>
    <message>
        <source>about %1 s</source>
        <translation>etwa %1 s</translation>
    </message>
    <message>
        <source>about %1 min %2 s</source>
        <translation>etwa %1 min %2 s</translation>
    </message>
    <message>
        <source>about %1 min</source>
        <translation>etwa %1 min</translation>
    </message>
    <message>
        <source>about %1 h %2 min</source>
        <translation>etwa %1 h %2 min</translation>
    </message>
    <message>
        <source>%1 MB/s</source>
        <translation>%1 MB/s</translation>
    </message>
    <message>
        <source>%1 KB/s</source>
        <translation>%1 KB/s</translation>
    </message>
</context>
<context>
    <name>UsagesReporting</name>
    <message>
        <source>Usages Reporting</source>
        <translation>Nutzungsberichte</translation>
    </message>
    <message>
        <source>&lt;b&gt;Help us improve Quillon Converter&lt;/b&gt;</source>
        <translation>&lt;b&gt;Helfen Sie uns, Quillon Converter zu verbessern&lt;/b&gt;</translation>
    </message>
    <message>
        <source>Quillon Converter can send us a small report of how often each conversion mode is used and how many files went through it. The report contains no file names, no images and no personal information; it tells this computer apart only by a code made from its system identifier, from which that identifier cannot be recovered.</source>
        <translation>Quillon Converter kann uns einen kleinen Bericht senden, wie oft jeder Konvertierungsmodus benutzt wurde und wie viele Dateien dabei verarbeitet wurden. Der Bericht enthält keine Dateinamen, keine Bilder und keine persönlichen Daten; er unterscheidet diesen Computer nur an einem Code, der aus seiner Systemkennung gebildet wird und aus dem sich diese Kennung nicht zurückgewinnen lässt.</translation>
    </message>
    <message>
        <source>Send usage reports automatically</source>
        <translation>Nutzungsberichte automatisch senden</translation>
    </message>
    <message>
        <source>Privacy Policy</source>
        <translation>Datenschutzerklärung</translation>
    </message>
    <message>
        <source>Submit Report Now</source>
        <translation>Bericht jetzt senden</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>Anwenden</translation>
    </message>
</context>
<context>
    <name>quillon::AboutWindowController</name>
    <message>
        <source>About %1</source>
        <translation>Über %1</translation>
    </message>
    <message>
        <source>Thank you for using %1.</source>
        <translation>Danke, dass Sie %1 verwenden.</translation>
    </message>
    <message>
        <source>Click to continue with %1.</source>
        <translation>Klicken, um mit %1 fortzufahren.</translation>
    </message>
</context>
<context>
    <name>quillon::BilevelPreviewer</name>
    <message>
        <source>it has no page %1</source>
        <translation>sie hat keine Seite %1</translation>
    </message>
    <message>
        <source>Not enough memory</source>
        <translation>Nicht genug Arbeitsspeicher</translation>
    </message>
    <message>
        <source>it could not be read</source>
        <translation>sie konnte nicht gelesen werden</translation>
    </message>
</context>
<context>
    <name>quillon::ConversionController</name>
    <message>
        <source>Keep as default output folder</source>
        <translation>Als Standardausgabeordner behalten</translation>
    </message>
    <message>
        <source>Open output folder after conversion</source>
        <translation>Ausgabeordner nach der Konvertierung öffnen</translation>
    </message>
    <message>
        <source>Choose Output Folder : </source>
        <translation>Ausgabeordner auswählen: </translation>
    </message>
    <message>
        <source>Please select output folder!</source>
        <translation>Bitte wählen Sie einen Ausgabeordner!</translation>
    </message>
    <message>
        <source>Output folder [ %1 ] is missing!<byte value="xd"/>
Please select valid output folder.</source>
        <translation>Der Ausgabeordner [ %1 ] fehlt!<byte value="xd"/>
Bitte wählen Sie einen gültigen Ausgabeordner.</translation>
    </message>
    <message>
        <source>Application does not have write permission for selected output folder!<byte value="xd"/>
[ %1 ]<byte value="xd"/>
Please select valid output folder.</source>
        <translation>Das Programm darf nicht in den gewählten Ausgabeordner schreiben!<byte value="xd"/>
[ %1 ]<byte value="xd"/>
Bitte wählen Sie einen gültigen Ausgabeordner.</translation>
    </message>
    <message>
        <source>Application does not have write permission for selected output folder!<byte value="xd"/>
[ %1 ]<byte value="xd"/>
Please try again or later.</source>
        <translation>Das Programm darf nicht in den gewählten Ausgabeordner schreiben!<byte value="xd"/>
[ %1 ]<byte value="xd"/>
Bitte versuchen Sie es erneut oder später.</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 von %2</translation>
    </message>
    <message>
        <source>Files processed: %1 of %2    TIFF files created: %3 of %4</source>
        <translation>Dateien verarbeitet: %1 von %2    TIFF-Dateien erstellt: %3 von %4</translation>
    </message>
    <message numerus="yes">
        <source>%n source image(s) or page(s) could not be converted; View Log lists them.</source>
        <translation>
            <numerusform>%n Quellbild oder Seite konnte nicht konvertiert werden; „Protokoll anzeigen“ nennt es.</numerusform>
            <numerusform>%n Quellbilder oder Seiten konnten nicht konvertiert werden; „Protokoll anzeigen“ nennt sie.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n file(s) not made: the name was taken (see the choice in Output Settings).</source>
        <translation>
            <numerusform>%n Datei nicht erstellt: Der Name war vergeben (siehe die Wahl in den Ausgabeeinstellungen).</numerusform>
            <numerusform>%n Dateien nicht erstellt: Die Namen waren vergeben (siehe die Wahl in den Ausgabeeinstellungen).</numerusform>
        </translation>
    </message>
    <message>
        <source>Conversion cancelled</source>
        <translation>Konvertierung abgebrochen</translation>
    </message>
    <message>
        <source>Conversion finished with problems</source>
        <translation>Konvertierung mit Problemen beendet</translation>
    </message>
    <message>
        <source>Conversion finished</source>
        <translation>Konvertierung beendet</translation>
    </message>
    <message>
        <source>Cancelling after the file in process...</source>
        <translation>Abbruch nach der Datei in Arbeit …</translation>
    </message>
    <message>
        <source>Converting images to TIFF...</source>
        <translation>Bilder werden in TIFF konvertiert …</translation>
    </message>
    <message>
        <source>Time left: %1    (%2, %3 files/s)</source>
        <translation>Verbleibende Zeit: %1    (%2, %3 Dateien/s)</translation>
    </message>
    <message>
        <source>%1% – %2</source>
        <translation>%1 % – %2</translation>
    </message>
    <message>
        <source>Open Output Folder</source>
        <translation>Ausgabeordner öffnen</translation>
    </message>
    <message numerus="yes">
        <source>%1 of %n TIFF file(s) created in %2</source>
        <translation>
            <numerusform>%1 von %n TIFF-Datei in %2 erstellt</numerusform>
            <numerusform>%1 von %n TIFF-Dateien in %2 erstellt</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>quillon::CustomTableView</name>
    <message>
        <source>Drag and Drop your files/folders directly from the finder here.</source>
        <translation>Ziehen Sie Ihre Dateien und Ordner direkt aus der Dateiverwaltung hierher.</translation>
    </message>
</context>
<context>
    <name>quillon::EULAWindowController</name>
    <message>
        <source>%1 of %2</source>
        <translation>%1 von %2</translation>
    </message>
    <message>
        <source>%1 End-User License Agreement.pdf</source>
        <translation>%1 Endbenutzer-Lizenzvertrag.pdf</translation>
    </message>
    <message>
        <source>%1 End-User License Agreement</source>
        <translation>%1 Endbenutzer-Lizenzvertrag</translation>
    </message>
    <message>
        <source>%1 End-User License Agreement:</source>
        <translation>%1 Endbenutzer-Lizenzvertrag:</translation>
    </message>
    <message>
        <source>Click to print End-User License Agreement.</source>
        <translation>Klicken, um den Endbenutzer-Lizenzvertrag zu drucken.</translation>
    </message>
    <message>
        <source>Click to save End-User License Agreement.</source>
        <translation>Klicken, um den Endbenutzer-Lizenzvertrag zu speichern.</translation>
    </message>
    <message>
        <source>Click on disagree to refuse End-User License Agreement.</source>
        <translation>Auf „Ablehnen“ klicken, um den Endbenutzer-Lizenzvertrag abzulehnen.</translation>
    </message>
    <message>
        <source>Click on agree to accept End-User License Agreement.</source>
        <translation>Auf „Zustimmen“ klicken, um den Endbenutzer-Lizenzvertrag anzunehmen.</translation>
    </message>
    <message>
        <source>Click to close dialog.</source>
        <translation>Klicken, um den Dialog zu schließen.</translation>
    </message>
</context>
<context>
    <name>quillon::FileAddingJob</name>
    <message>
        <source>Add Files</source>
        <translation>Dateien hinzufügen</translation>
    </message>
    <message>
        <source>Select Image or TIFF File(s):</source>
        <translation>Bild- oder TIFF-Dateien auswählen:</translation>
    </message>
    <message>
        <source>Add Folder</source>
        <translation>Ordner hinzufügen</translation>
    </message>
    <message>
        <source>Select folder(s) contains Image or TIFF File(s):</source>
        <translation>Ordner mit Bild- oder TIFF-Dateien auswählen:</translation>
    </message>
    <message>
        <source>Reading files...</source>
        <translation>Dateien werden gelesen …</translation>
    </message>
    <message>
        <source>Reading files... %L1</source>
        <translation>Dateien werden gelesen … %L1</translation>
    </message>
    <message>
        <source>Recent Folders...</source>
        <translation>Zuletzt verwendete Ordner …</translation>
    </message>
    <message>
        <source>Choose folder(s):</source>
        <translation>Ordner auswählen:</translation>
    </message>
</context>
<context>
    <name>quillon::FileListController</name>
    <message numerus="yes">
        <source>%n Total file(s); </source>
        <extracomment>The first of three pieces of the totals line.</extracomment>
        <translation>
            <numerusform>%n Datei insgesamt; </numerusform>
            <numerusform>%n Dateien insgesamt; </numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n file selected; </source>
        <translation>
            <numerusform>%n ausgewählt; </numerusform>
            <numerusform>%n ausgewählt; </numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Total TIFF file(s) to create: %n</source>
        <translation>
            <numerusform>Zu erstellende TIFF-Datei: %n</numerusform>
            <numerusform>Zu erstellende TIFF-Dateien: %n</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>quillon::FileListModel</name>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Pages</source>
        <translation>Seiten</translation>
    </message>
    <message>
        <source>Selection</source>
        <translation>Auswahl</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>Typ</translation>
    </message>
    <message>
        <source>Date Modified</source>
        <translation>Änderungsdatum</translation>
    </message>
    <message>
        <source>Date Created</source>
        <translation>Erstellungsdatum</translation>
    </message>
    <message>
        <source>Date Accessed</source>
        <translation>Zugriffsdatum</translation>
    </message>
    <message>
        <source>Location</source>
        <translation>Ort</translation>
    </message>
    <message>
        <source>Checked files take part in the conversion</source>
        <translation>Markierte Dateien werden konvertiert</translation>
    </message>
    <message>
        <source>Checked</source>
        <translation>Markiert</translation>
    </message>
</context>
<context>
    <name>quillon::OpenPanel</name>
    <message>
        <source>Images (%1)</source>
        <translation>Bilder (%1)</translation>
    </message>
</context>
<context>
    <name>quillon::OutputSettingsController</name>
    <message>
        <source>Check an image in the list to see here what its first page becomes in black and white.</source>
        <translation>Markieren Sie ein Bild in der Liste, um hier zu sehen, was aus seiner ersten Seite in Schwarzweiß wird.</translation>
    </message>
    <message>
        <source>No page of %1 is chosen.</source>
        <translation>Von %1 ist keine Seite gewählt.</translation>
    </message>
    <message>
        <source>%1, page %2</source>
        <translation>%1, Seite %2</translation>
    </message>
    <message>
        <source>%1 cannot be shown: %2</source>
        <translation>%1 kann nicht angezeigt werden: %2</translation>
    </message>
    <message>
        <source>%1 is black and white already and is written as it is.</source>
        <translation>%1 ist bereits schwarzweiß und wird unverändert geschrieben.</translation>
    </message>
    <message>
        <source>%1, with %2.</source>
        <translation>%1, Verfahren: %2.</translation>
    </message>
    <message>
        <source>Black and white is made only for CCITT Group 3 and Group 4 compression.</source>
        <translation>In Schwarzweiß umgewandelt wird nur bei Komprimierung mit CCITT Gruppe 3 und Gruppe 4.</translation>
    </message>
    <message>
        <source>(not set)</source>
        <translation>(nicht festgelegt)</translation>
    </message>
    <message>
        <source>%1, %2 images per file</source>
        <translation>%1, %2 Bilder je Datei</translation>
    </message>
    <message>
        <source>(base name not set)</source>
        <translation>(Basisname nicht festgelegt)</translation>
    </message>
    <message>
        <source>named after each image</source>
        <translation>nach dem jeweiligen Bild benannt</translation>
    </message>
    <message>
        <source>asked for at Convert</source>
        <translation>wird beim Konvertieren erfragt</translation>
    </message>
    <message>
        <source>open the output folder</source>
        <translation>Ausgabeordner öffnen</translation>
    </message>
    <message>
        <source>remove the checked files from the list</source>
        <translation>markierte Dateien aus der Liste entfernen</translation>
    </message>
    <message>
        <source>nothing more</source>
        <translation>nichts weiter</translation>
    </message>
    <message>
        <source>None chosen</source>
        <translation>Keiner gewählt</translation>
    </message>
    <message>
        <source>Output Folder</source>
        <translation>Ausgabeordner</translation>
    </message>
    <message>
        <source>Please enter new TIFF file name!</source>
        <translation>Bitte geben Sie einen Namen für die neue TIFF-Datei ein!</translation>
    </message>
    <message>
        <source>Please enter new TIFF file base name!</source>
        <translation>Bitte geben Sie einen Basisnamen für die neuen TIFF-Dateien ein!</translation>
    </message>
    <message>
        <source>Not available: the TIFF library on this computer cannot write %1 compression.</source>
        <translation>Nicht verfügbar: Die TIFF-Bibliothek auf diesem Computer kann keine %1-Komprimierung schreiben.</translation>
    </message>
    <message>
        <source>From %1 (fastest) to %2 (smallest files)</source>
        <translation>Von %1 (am schnellsten) bis %2 (kleinste Dateien)</translation>
    </message>
    <message>
        <source>Only when each image becomes a TIFF file of its own: combined files have no folder of their own.</source>
        <translation>Nur wenn jedes Bild eine eigene TIFF-Datei wird: Zusammengefasste Dateien haben keinen eigenen Ordner.</translation>
    </message>
    <message>
        <source>Not with combined files</source>
        <translation>Nicht bei zusammengefassten Dateien</translation>
    </message>
    <message>
        <source>Each TIFF file goes to the folder below the output folder that its image has below the common folder of the checked images.</source>
        <translation>Jede TIFF-Datei kommt in den Ordner unterhalb des Ausgabeordners, in dem ihr Bild unterhalb des gemeinsamen Ordners der markierten Bilder liegt.</translation>
    </message>
    <message>
        <source>Recreate the folders below %1</source>
        <translation>Die Ordner unterhalb von %1 nachbilden</translation>
    </message>
    <message>
        <source>the common folder of the checked images</source>
        <translation>dem gemeinsamen Ordner der markierten Bilder</translation>
    </message>
    <message>
        <source>named after each image, in its own folder recreated in the output folder</source>
        <translation>nach jedem Bild benannt, in seinem im Ausgabeordner nachgebildeten Ordner</translation>
    </message>
    <message>
        <source>level %1</source>
        <translation>Stufe %1</translation>
    </message>
    <message>
        <source>quality %1</source>
        <translation>Qualität %1</translation>
    </message>
    <message>
        <source>%1 dpi</source>
        <translation>%1 dpi</translation>
    </message>
    <message>
        <source>metadata kept</source>
        <translation>Metadaten behalten</translation>
    </message>
    <message>
        <source>Only Deflate and Zstandard compression take a level</source>
        <translation>Nur Deflate- und Zstandard-Komprimierung haben eine Stufe</translation>
    </message>
    <message>
        <source>Higher quality keeps more detail and makes larger files</source>
        <translation>Höhere Qualität erhält mehr Details und ergibt größere Dateien</translation>
    </message>
    <message>
        <source>Only JPEG compression takes a quality</source>
        <translation>Nur JPEG-Komprimierung hat eine Qualität</translation>
    </message>
</context>
<context>
    <name>quillon::PageSelectionDialog</name>
    <message>
        <source>&quot;%1&quot; is not a page number or a range such as 4-9.</source>
        <translation>„%1“ ist keine Seitenzahl und kein Bereich wie 4-9.</translation>
    </message>
    <message>
        <source>Page numbers start at 1 (&quot;%1&quot;).</source>
        <translation>Seitenzahlen beginnen bei 1 („%1“).</translation>
    </message>
    <message>
        <source>Enter at least one page or page range.</source>
        <translation>Geben Sie mindestens eine Seite oder einen Seitenbereich ein.</translation>
    </message>
    <message>
        <source>Pages of the selected TIFF file to convert</source>
        <translation>Zu konvertierende Seiten der ausgewählten TIFF-Datei</translation>
    </message>
    <message>
        <source>Pages of the %1 selected TIFF files to convert</source>
        <translation>Zu konvertierende Seiten der %1 ausgewählten TIFF-Dateien</translation>
    </message>
</context>
<context>
    <name>quillon::QuillonAppDelegate</name>
    <message>
        <source>Files</source>
        <translation>Dateien</translation>
    </message>
    <message>
        <source>Files and settings</source>
        <translation>Dateien und Einstellungen</translation>
    </message>
    <message>
        <source>List commands</source>
        <translation>Listenbefehle</translation>
    </message>
    <message>
        <source>Order and conversion</source>
        <translation>Reihenfolge und Konvertierung</translation>
    </message>
    <message>
        <source>Recent folders</source>
        <translation>Zuletzt verwendete Ordner</translation>
    </message>
    <message>
        <source>Reading files or converting</source>
        <translation>Dateien werden gelesen oder konvertiert</translation>
    </message>
    <message>
        <source>Add Files</source>
        <translation>Dateien hinzufügen</translation>
    </message>
    <message>
        <source>Add image or TIFF files to the list</source>
        <translation>Bild- oder TIFF-Dateien zur Liste hinzufügen</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Remove the selected files from the list</source>
        <translation>Die ausgewählten Dateien aus der Liste entfernen</translation>
    </message>
    <message>
        <source>Subfolders</source>
        <translation>Unterordner</translation>
    </message>
    <message>
        <source>Include subfolders when adding folders</source>
        <translation>Beim Hinzufügen von Ordnern die Unterordner einbeziehen</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>Importieren</translation>
    </message>
    <message>
        <source>Import a list of file paths</source>
        <translation>Eine Liste von Dateipfaden importieren</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>Exportieren</translation>
    </message>
    <message>
        <source>Export the list</source>
        <translation>Die Liste exportieren</translation>
    </message>
    <message>
        <source>Logs</source>
        <translation>Protokolle</translation>
    </message>
    <message>
        <source>Open the folder of conversion logs</source>
        <translation>Den Ordner der Konvertierungsprotokolle öffnen</translation>
    </message>
    <message>
        <source>Move the selected files up (Ctrl+Up)</source>
        <translation>Die ausgewählten Dateien nach oben verschieben (Strg+Pfeil nach oben)</translation>
    </message>
    <message>
        <source>Move the selected files down (Ctrl+Down)</source>
        <translation>Die ausgewählten Dateien nach unten verschieben (Strg+Pfeil nach unten)</translation>
    </message>
    <message>
        <source>Remove All</source>
        <translation>Alle entfernen</translation>
    </message>
    <message>
        <source>Remove all files from the list</source>
        <translation>Alle Dateien aus der Liste entfernen</translation>
    </message>
    <message>
        <source>Output Settings</source>
        <translation>Ausgabeeinstellungen</translation>
    </message>
    <message>
        <source>Combine mode, names, compression and output folder</source>
        <translation>Zusammenfassung, Namen, Komprimierung und Ausgabeordner</translation>
    </message>
    <message>
        <source>Convert</source>
        <translation>Konvertieren</translation>
    </message>
    <message>
        <source>Convert the checked files</source>
        <translation>Die markierten Dateien konvertieren</translation>
    </message>
    <message>
        <source>Visit the Quillon Converter website</source>
        <translation>Die Website von Quillon Converter besuchen</translation>
    </message>
    <message>
        <source>Open the Quillon Converter help</source>
        <translation>Die Hilfe zu Quillon Converter öffnen</translation>
    </message>
    <message>
        <source>Rate Quillon Converter</source>
        <translation>Quillon Converter bewerten</translation>
    </message>
    <message>
        <source>Files and folders</source>
        <translation>Dateien und Ordner</translation>
    </message>
    <message>
        <source>List order</source>
        <translation>Reihenfolge der Liste</translation>
    </message>
    <message>
        <source>Conversion</source>
        <translation>Konvertierung</translation>
    </message>
    <message>
        <source>Help and website</source>
        <translation>Hilfe und Website</translation>
    </message>
    <message>
        <source>d</source>
        <comment>key letter of Keep as default output folder</comment>
        <translation>d</translation>
    </message>
    <message>
        <source>p</source>
        <comment>key letter of Open output folder after conversion</comment>
        <translation>f</translation>
    </message>
    <message>
        <source>l</source>
        <comment>key letter of View Log</comment>
        <translation>p</translation>
    </message>
    <message>
        <source>c</source>
        <comment>key letter of Cancel</comment>
        <translation>a</translation>
    </message>
    <message>
        <source>End-User License Agreement...</source>
        <translation>Endbenutzer-Lizenzvertrag …</translation>
    </message>
    <message>
        <source>End-User License Agreement</source>
        <translation>Endbenutzer-Lizenzvertrag</translation>
    </message>
    <message>
        <source>Export List</source>
        <translation>Liste exportieren</translation>
    </message>
    <message>
        <source>Export List To Tab Delimited Text File :</source>
        <translation>Liste als Textdatei mit Tabulatoren exportieren:</translation>
    </message>
    <message>
        <source>Text files (*.txt)</source>
        <translation>Textdateien (*.txt)</translation>
    </message>
    <message>
        <source>The list could not be exported to
%1
%2</source>
        <translation>Die Liste konnte nicht exportiert werden nach
%1
%2</translation>
    </message>
    <message>
        <source>r</source>
        <comment>key letter of Retry Failed...</comment>
        <translation>w</translation>
    </message>
    <message>
        <source>m</source>
        <comment>key letter of Keep metadata</comment>
        <translation>m</translation>
    </message>
    <message>
        <source>s</source>
        <comment>key letter of Recreate the folders below</comment>
        <translation>r</translation>
    </message>
</context>
<context>
    <name>quillon::UsagesReportingWindowController</name>
    <message>
        <source>Usages Reporting</source>
        <translation>Nutzungsberichte</translation>
    </message>
    <message>
        <source>Usages Reporting :</source>
        <translation>Nutzungsberichte:</translation>
    </message>
    <message>
        <source>Report submitted successfully.</source>
        <translation>Der Bericht wurde erfolgreich gesendet.</translation>
    </message>
    <message>
        <source>Unable to submit report!</source>
        <translation>Der Bericht konnte nicht gesendet werden!</translation>
    </message>
</context>
</TS>
