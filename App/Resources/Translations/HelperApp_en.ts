<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name>Main</name>
    <message>
        <source>Window.title</source>
        <translation>NTFS Driver Setup</translation>
    </message>
    <message>
        <source>InstallHelperViewController.pageTitle</source>
        <translation>Install the NTFS driver</translation>
    </message>
    <message>
        <source>InstallHelperViewController.stepLabel</source>
        <translation>Step 1 of 2: Install</translation>
    </message>
    <message>
        <source>InstallHelperViewController.instructionsLabel</source>
        <translation>This puts the NTFS driver and its helper service on this computer, so that you can read and write NTFS disks. Click Install and enter your password when asked.

To remove the driver again, click Uninstall.</translation>
    </message>
    <message>
        <source>InstallHelperViewController.installButton</source>
        <translation>Install</translation>
    </message>
    <message>
        <source>InstallHelperViewController.uninstallButton</source>
        <translation>Uninstall</translation>
    </message>
    <message>
        <source>Alert.OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Installation.failedWithReason</source>
        <translation>The installation failed: %1</translation>
    </message>
    <message>
        <source>Installation.failed</source>
        <translation>The installation failed.</translation>
    </message>
    <message>
        <source>Uninstall.failed</source>
        <translation>The driver could not be removed.</translation>
    </message>
    <message>
        <source>Uninstall.success</source>
        <translation>The driver has been removed.</translation>
    </message>
    <message>
        <source>Uninstall.cancelled</source>
        <translation>The driver was not removed. Setup will now close.</translation>
    </message>
    <message>
        <source>GrantPermissionViewController.title</source>
        <translation>Allow disk access</translation>
    </message>
    <message>
        <source>GrantPermissionViewController.stepLabel</source>
        <translation>Step 2 of 2: Allow access, then restart</translation>
    </message>
    <message>
        <source>GrantPermissionViewController.instructionsLabel</source>
        <translation>The driver's helper service works with your disks for your apps. The first time an app mounts, checks or formats a disk, you are asked for an administrator password. Enter it to allow access.

Restart the computer now so that the driver is loaded.</translation>
    </message>
    <message>
        <source>GrantPermissionViewController.quit</source>
        <translation>Restart Now</translation>
    </message>
    <message>
        <source>NoFDARebootViewController.title</source>
        <translation>Installation complete</translation>
    </message>
    <message>
        <source>NoFDARebootViewController.stepLabel</source>
        <translation>Step 2 of 2: Restart</translation>
    </message>
    <message>
        <source>NoFDARebootViewController.instructionsLabel</source>
        <translation>The NTFS driver is installed. Restart the computer to start using it.

Save your work in other apps first.</translation>
    </message>
    <message>
        <source>NoFDARebootViewController.quit</source>
        <translation>Restart Now</translation>
    </message>
    <message>
        <source>VenturaQRCodeViewController.title</source>
        <translation>Installation complete</translation>
    </message>
    <message>
        <source>VenturaQRCodeViewController.stepLabel</source>
        <translation>Step 2 of 2: Finish setup</translation>
    </message>
    <message>
        <source>VenturaQRCodeViewController.instructionsLabel</source>
        <translation>Scan the QR code with your phone to open the last setup steps, or visit help.example.org/ntfs-setup.

When you are done, close this window and restart the computer.</translation>
    </message>
    <message>
        <source>HelpPopoverViewController.q1</source>
        <translation>Why do I need to enter a password?</translation>
    </message>
    <message>
        <source>HelpPopoverViewController.a1</source>
        <translation>Working with disks needs administrator rights. The system asks for an administrator's password and remembers it for a few minutes.</translation>
    </message>
    <message>
        <source>HelpPopoverViewController.q2</source>
        <translation>My NTFS disk does not show up. What can I do?</translation>
    </message>
    <message>
        <source>HelpPopoverViewController.a2</source>
        <translation>Restart the computer after the installation, then unplug the disk and plug it in again. If Windows was not fully shut down (Fast Startup), the disk may open read-only: shut Windows down completely first.</translation>
    </message>
    <message>
        <source>Progress.password</source>
        <translation>Waiting for your password…</translation>
    </message>
    <message>
        <source>Progress.installing</source>
        <translation>Installing the driver…</translation>
    </message>
    <message>
        <source>Progress.registering</source>
        <translation>Registering the helper service…</translation>
    </message>
    <message>
        <source>Progress.uninstalling</source>
        <translation>Removing the driver…</translation>
    </message>
    <message>
        <source>Progress.reloading</source>
        <translation>Reloading the driver…</translation>
    </message>
    <message>
        <source>Progress.details</source>
        <translation>Details</translation>
    </message>
    <message>
        <source>Progress.closeQuestion</source>
        <translation>Setup is still working. Close the window anyway?</translation>
    </message>
    <message>
        <source>Progress.closeExplanation</source>
        <translation>The current step runs on until it is done, but you will not see how it ended.</translation>
    </message>
    <message>
        <source>Progress.closeAnyway</source>
        <translation>Close Anyway</translation>
    </message>
    <message>
        <source>Progress.keepOpen</source>
        <translation>Keep Open</translation>
    </message>
    <message>
        <source>Accessibility.installButton</source>
        <translation>Installs the NTFS driver and its helper service. Asks for your password.</translation>
    </message>
    <message>
        <source>Accessibility.uninstallButton</source>
        <translation>Removes the NTFS driver and its helper service.</translation>
    </message>
    <message>
        <source>Accessibility.helpButton</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>Accessibility.busyIndicator</source>
        <translation>Progress</translation>
    </message>
    <message>
        <source>Accessibility.detailsButton</source>
        <translation>Shows or hides the output of the running step.</translation>
    </message>
    <message>
        <source>Accessibility.detailsView</source>
        <translation>Output of the running step</translation>
    </message>
    <message>
        <source>Accessibility.qrCode</source>
        <translation>QR code</translation>
    </message>
    <message>
        <source>Accessibility.qrCodeDescription</source>
        <translation>Leads to the last setup steps at %1</translation>
    </message>
</context>
</TS>
