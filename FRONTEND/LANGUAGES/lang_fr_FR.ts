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
<context>
    <name>CLASS_BOX_UPDATER_WINDOW</name>
    <message>
        <source>QRN207 Firmware Updater</source>
        <translation>Logiciel de mise à jour QRN207</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Fichier</translation>
    </message>
    <message>
        <source>&amp;Open KTP File</source>
        <translation>&amp;Ouvrir un fichier KTP</translation>
    </message>
    <message>
        <source>&amp;Exit</source>
        <translation>&amp;Quitter</translation>
    </message>
    <message>
        <source>&amp;?</source>
        <translation>&amp;?</translation>
    </message>
    <message>
        <source>&amp;About QRN207 Firmware Updater</source>
        <translation>À &amp;propos du logiciel de mise à jour QRN207</translation>
    </message>
    <message>
        <source>Device Version: </source>
        <translation>Version de l'appareil : </translation>
    </message>
    <message>
        <source>Package Version: </source>
        <translation>Version du paquet : </translation>
    </message>
    <message>
        <source>Please use File/Open to select an KTP package.</source>
        <translation>Utilisez Fichier/Ouvrir pour choisir un paquet KTP.</translation>
    </message>
    <message>
        <source>Get Device Version</source>
        <translation>Lire la version</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Démarrer</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Arrêter</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quitter</translation>
    </message>
    <message>
        <source>Version: </source>
        <translation>Version : </translation>
    </message>
    <message>
        <source>Failed to read version.</source>
        <translation>Échec de la lecture de la version.</translation>
    </message>
    <message>
        <source>Compatibility Error</source>
        <translation>Erreur de compatibilité</translation>
    </message>
    <message>
        <source>Extract Error</source>
        <translation>Erreur d'extraction</translation>
    </message>
    <message>
        <source>Open File</source>
        <translation>Ouvrir un fichier</translation>
    </message>
</context>
</TS>
