<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en_US">
<context>
    <name>CLASS_ABOUT_WINDOW</name>
    <message>
        <source>About </source>
        <translation>Über </translation>
    </message>
    <message>
        <source>Version Informations</source>
        <translation>Versionsinformationen</translation>
    </message>
    <message>
        <source>Version </source>
        <translation>Version </translation>
    </message>
    <message>
        <source>Built on </source>
        <translation>Erstellt am </translation>
    </message>
    <message>
        <source>System </source>
        <translation>System </translation>
    </message>
    <message>
        <source>Thanks</source>
        <translation>Dank</translation>
    </message>
    <message>
        <source>Thanks to Alan Turing for computers!</source>
        <translation>Danke an Alan Turing für die Computer!</translation>
    </message>
    <message>
        <source>Copyright %1-%2, all rights reserved.</source>
        <translation>Copyright %1-%2, alle Rechte vorbehalten.</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
</context>
<context>
    <name>CLASS_BOX_UPDATER_WINDOW</name>
    <message>
        <source>QRN207 Firmware Updater</source>
        <translation>QRN207-Firmware-Aktualisierung</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Open KTP File</source>
        <translation>KTP-Datei ö&amp;ffnen</translation>
    </message>
    <message>
        <source>&amp;Exit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;?</source>
        <translation>&amp;?</translation>
    </message>
    <message>
        <source>&amp;About QRN207 Firmware Updater</source>
        <translation>Ü&amp;ber die QRN207-Firmware-Aktualisierung</translation>
    </message>
    <message>
        <source>Device Version: </source>
        <translation>Geräteversion: </translation>
    </message>
    <message>
        <source>Package Version: </source>
        <translation>Paketversion: </translation>
    </message>
    <message>
        <source>Please use File/Open to select an KTP package.</source>
        <translation>Bitte wählen Sie über Datei/Öffnen ein KTP-Paket.</translation>
    </message>
    <message>
        <source>Get Device Version</source>
        <translation>Geräteversion lesen</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Starten</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Version: </source>
        <translation>Version: </translation>
    </message>
    <message>
        <source>Failed to read version.</source>
        <translation>Version konnte nicht gelesen werden.</translation>
    </message>
    <message>
        <source>Compatibility Error</source>
        <translation>Kompatibilitätsfehler</translation>
    </message>
    <message>
        <source>Extract Error</source>
        <translation>Entpackfehler</translation>
    </message>
    <message>
        <source>Open File</source>
        <translation>Datei öffnen</translation>
    </message>
</context>
</TS>
