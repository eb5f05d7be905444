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
</TS>
