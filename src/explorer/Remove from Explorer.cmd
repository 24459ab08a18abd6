@echo off
rem Removes "Convert with Sectify" from the right-click menu of .fxml files,
rem as "Add to Explorer.cmd" added it for the current user. No line reads
rem this script's folder, so it runs from any folder; every reg command is
rem forced (/f) and reads no answer (<nul).
setlocal DisableDelayedExpansion
rem A lone quote: set "name=value" ends at the last quote of the line.
set "quote=""
setlocal EnableDelayedExpansion
set "key=HKCU\Software\Classes\SystemFileAssociations\.fxml\shell\Sectify"
set status=0
reg query "!key!" <nul >nul 2>&1
if errorlevel 1 goto absent
reg delete "!key!" /f <nul >nul 2>&1
if errorlevel 1 goto failed
echo Removed "Convert with Sectify" from the right-click menu of .fxml files.
goto end
:absent
echo "Convert with Sectify" is not in the right-click menu: nothing to remove.
goto end
:failed
echo "Convert with Sectify" could not be removed from the right-click menu.
set status=1
:end
rem Explorer's window alone pauses, as in "Add to Explorer.cmd".
if "!cmdcmdline:~-3!"=="!quote! !quote!" pause
exit /b %status%
