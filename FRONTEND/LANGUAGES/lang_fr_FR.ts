<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR" sourcelanguage="en_US">
<context>
    <name>CLASS_ABOUT_WINDOW</name>
    <message>
        <source>About </source>
        <translation>À propos de </translation>
    </message>
    <message>
        <source>Version Informations</source>
        <translation>Informations de version</translation>
    </message>
    <message>
        <source>Version </source>
        <translation>Version </translation>
    </message>
    <message>
        <source>Built on </source>
        <translation>Compilé le </translation>
    </message>
    <message>
        <source>System </source>
        <translation>Système </translation>
    </message>
    <message>
        <source>Thanks</source>
        <translation>Remerciements</translation>
    </message>
    <message>
        <source>Thanks to Alan Turing for computers!</source>
        <translation>Merci à Alan Turing pour les ordinateurs !</translation>
    </message>
    <message>
        <source>Copyright %1-%2, all rights reserved.</source>
        <translation>Copyright %1-%2, tous droits réservés.</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Fermer</translation>
    </message>
</context>
</TS>
