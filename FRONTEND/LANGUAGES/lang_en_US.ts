<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="en_US">
<context>
    <name>CLASS_ABOUT_WINDOW</name>
    <message>
        <source>About </source>
        <translation>About </translation>
    </message>
    <message>
        <source>Version Informations</source>
        <translation>Version Informations</translation>
    </message>
    <message>
        <source>Version </source>
        <translation>Version </translation>
    </message>
    <message>
        <source>Built on </source>
        <translation>Built on </translation>
    </message>
    <message>
        <source>System </source>
        <translation>System </translation>
    </message>
    <message>
        <source>Thanks</source>
        <translation>Thanks</translation>
    </message>
    <message>
        <source>Thanks to Alan Turing for computers!</source>
        <translation>Thanks to Alan Turing for computers!</translation>
    </message>
    <message>
        <source>Copyright %1-%2, all rights reserved.</source>
        <translation>Copyright %1-%2, all rights reserved.</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
</context>
</TS>
