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
<context>
    <name>CLASS_BOX_UPDATER_WINDOW</name>
    <message>
        <source>QRN207 Firmware Updater</source>
        <translation>QRN207 Firmware Updater</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>&amp;Open KTP File</source>
        <translation>&amp;Open KTP File</translation>
    </message>
    <message>
        <source>&amp;Exit</source>
        <translation>&amp;Exit</translation>
    </message>
    <message>
        <source>&amp;?</source>
        <translation>&amp;?</translation>
    </message>
    <message>
        <source>&amp;About QRN207 Firmware Updater</source>
        <translation>&amp;About QRN207 Firmware Updater</translation>
    </message>
    <message>
        <source>Device Version: </source>
        <translation>Device Version: </translation>
    </message>
    <message>
        <source>Package Version: </source>
        <translation>Package Version: </translation>
    </message>
    <message>
        <source>Please use File/Open to select an KTP package.</source>
        <translation>Please use File/Open to select an KTP package.</translation>
    </message>
    <message>
        <source>Get Device Version</source>
        <translation>Get Device Version</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>Version: </source>
        <translation>Version: </translation>
    </message>
    <message>
        <source>Failed to read version.</source>
        <translation>Failed to read version.</translation>
    </message>
    <message>
        <source>Compatibility Error</source>
        <translation>Compatibility Error</translation>
    </message>
    <message>
        <source>Extract Error</source>
        <translation>Extract Error</translation>
    </message>
    <message>
        <source>Open File</source>
        <translation>Open File</translation>
    </message>
</context>
</TS>
