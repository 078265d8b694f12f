<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>Main</name>
    <message>
        <source>Window.title</source>
        <translation>NTFS-Treiber einrichten</translation>
    </message>
    <message>
        <source>InstallHelperViewController.pageTitle</source>
        <translation>NTFS-Treiber installieren</translation>
    </message>
    <message>
        <source>InstallHelperViewController.stepLabel</source>
        <translation>Schritt 1 von 2: Installieren</translation>
    </message>
    <message>
        <source>InstallHelperViewController.instructionsLabel</source>
        <translation>Damit werden der NTFS-Treiber und sein Hilfsdienst auf diesem Computer eingerichtet, sodass Sie NTFS-Datenträger lesen und beschreiben können. Klicken Sie auf „Installieren“ und geben Sie Ihr Passwort ein, wenn Sie danach gefragt werden.

Um den Treiber wieder zu entfernen, klicken Sie auf „Deinstallieren“.</translation>
    </message>
    <message>
        <source>InstallHelperViewController.installButton</source>
        <translation>Installieren</translation>
    </message>
    <message>
        <source>InstallHelperViewController.uninstallButton</source>
        <translation>Deinstallieren</translation>
    </message>
    <message>
        <source>Alert.OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Installation.failedWithReason</source>
        <translation>Die Installation ist fehlgeschlagen: %1</translation>
    </message>
    <message>
        <source>Installation.failed</source>
        <translation>Die Installation ist fehlgeschlagen.</translation>
    </message>
    <message>
        <source>Uninstall.failed</source>
        <translation>Der Treiber konnte nicht entfernt werden.</translation>
    </message>
    <message>
        <source>Uninstall.success</source>
        <translation>Der Treiber wurde entfernt.</translation>
    </message>
    <message>
        <source>Uninstall.cancelled</source>
        <translation>Der Treiber wurde nicht entfernt. Die Einrichtung wird jetzt beendet.</translation>
    </message>
    <message>
        <source>GrantPermissionViewController.title</source>
        <translation>Zugriff auf Datenträger erlauben</translation>
    </message>
    <message>
        <source>GrantPermissionViewController.stepLabel</source>
        <translation>Schritt 2 von 2: Zugriff erlauben, dann neu starten</translation>
    </message>
    <message>
        <source>GrantPermissionViewController.instructionsLabel</source>
        <translation>Der Hilfsdienst des Treibers arbeitet für Ihre Apps mit Ihren Datenträgern. Wenn eine App zum ersten Mal einen Datenträger einbindet, prüft oder formatiert, werden Sie nach einem Administratorpasswort gefragt. Geben Sie es ein, um den Zugriff zu erlauben.

Starten Sie den Computer jetzt neu, damit der Treiber geladen wird.</translation>
    </message>
    <message>
        <source>GrantPermissionViewController.quit</source>
        <translation>Jetzt neu starten</translation>
    </message>
    <message>
        <source>NoFDARebootViewController.title</source>
        <translation>Installation abgeschlossen</translation>
    </message>
    <message>
        <source>NoFDARebootViewController.stepLabel</source>
        <translation>Schritt 2 von 2: Neu starten</translation>
    </message>
    <message>
        <source>NoFDARebootViewController.instructionsLabel</source>
        <translation>Der NTFS-Treiber ist installiert. Starten Sie den Computer neu, um ihn zu verwenden.

Sichern Sie vorher Ihre Arbeit in anderen Apps.</translation>
    </message>
    <message>
        <source>NoFDARebootViewController.quit</source>
        <translation>Jetzt neu starten</translation>
    </message>
    <message>
        <source>VenturaQRCodeViewController.title</source>
        <translation>Installation abgeschlossen</translation>
    </message>
    <message>
        <source>VenturaQRCodeViewController.stepLabel</source>
        <translation>Schritt 2 von 2: Einrichtung abschließen</translation>
    </message>
    <message>
        <source>VenturaQRCodeViewController.instructionsLabel</source>
        <translation>Scannen Sie den QR-Code mit Ihrem Telefon, um die letzten Schritte zu öffnen, oder besuchen Sie help.example.org/ntfs-setup.

Schließen Sie danach dieses Fenster und starten Sie den Computer neu.</translation>
    </message>
    <message>
        <source>HelpPopoverViewController.q1</source>
        <translation>Warum muss ich ein Passwort eingeben?</translation>
    </message>
    <message>
        <source>HelpPopoverViewController.a1</source>
        <translation>Für das Arbeiten mit Datenträgern sind Administratorrechte nötig. Das System fragt nach dem Passwort eines Administrators und merkt es sich für einige Minuten.</translation>
    </message>
    <message>
        <source>HelpPopoverViewController.q2</source>
        <translation>Mein NTFS-Datenträger wird nicht angezeigt. Was kann ich tun?</translation>
    </message>
    <message>
        <source>HelpPopoverViewController.a2</source>
        <translation>Starten Sie den Computer nach der Installation neu. Trennen Sie dann den Datenträger und schließen Sie ihn wieder an. Wurde Windows nicht vollständig heruntergefahren (Schnellstart), wird der Datenträger eventuell nur lesend geöffnet: Fahren Sie Windows zuerst ganz herunter.</translation>
    </message>
    <message>
        <source>Progress.password</source>
        <translation>Warten auf Ihr Passwort …</translation>
    </message>
    <message>
        <source>Progress.installing</source>
        <translation>Der Treiber wird installiert …</translation>
    </message>
    <message>
        <source>Progress.registering</source>
        <translation>Der Hilfsdienst wird registriert …</translation>
    </message>
    <message>
        <source>Progress.uninstalling</source>
        <translation>Der Treiber wird entfernt …</translation>
    </message>
    <message>
        <source>Progress.reloading</source>
        <translation>Der Treiber wird neu geladen …</translation>
    </message>
    <message>
        <source>Progress.details</source>
        <translation>Details</translation>
    </message>
    <message>
        <source>Progress.closeQuestion</source>
        <translation>Die Einrichtung läuft noch. Das Fenster trotzdem schließen?</translation>
    </message>
    <message>
        <source>Progress.closeExplanation</source>
        <translation>Der laufende Schritt wird noch zu Ende geführt, doch sein Ergebnis sehen Sie dann nicht.</translation>
    </message>
    <message>
        <source>Progress.closeAnyway</source>
        <translation>Trotzdem schließen</translation>
    </message>
    <message>
        <source>Progress.keepOpen</source>
        <translation>Geöffnet lassen</translation>
    </message>
    <message>
        <source>Accessibility.installButton</source>
        <translation>Installiert den NTFS-Treiber und seinen Hilfsdienst. Fragt nach Ihrem Passwort.</translation>
    </message>
    <message>
        <source>Accessibility.uninstallButton</source>
        <translation>Entfernt den NTFS-Treiber und seinen Hilfsdienst.</translation>
    </message>
    <message>
        <source>Accessibility.helpButton</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>Accessibility.busyIndicator</source>
        <translation>Fortschritt</translation>
    </message>
    <message>
        <source>Accessibility.detailsButton</source>
        <translation>Zeigt oder verbirgt die Ausgabe des laufenden Schritts.</translation>
    </message>
    <message>
        <source>Accessibility.detailsView</source>
        <translation>Ausgabe des laufenden Schritts</translation>
    </message>
    <message>
        <source>Accessibility.qrCode</source>
        <translation>QR-Code</translation>
    </message>
    <message>
        <source>Accessibility.qrCodeDescription</source>
        <translation>Führt zu den letzten Einrichtungsschritten unter %1</translation>
    </message>
</context>
</TS>
