@echo off
rem Adds "Convert with Sectify" to the right-click menu of .fxml files, for
rem the current user only: no administrator rights are needed. It runs the
rem Sectify.exe beside this script; after moving both, run this again.
rem
rem The folder may hold any character a name may (& ( ) ^ % ! ' , ; = and
rem letters beyond ASCII). cmd expands %...% before it parses & | < > ( ) ^
rem and ", and expands !...! after it has parsed, without looking at the
rem value again. So the folder is expanded with %...% only once, between
rem the quotes of a set command while delayed expansion is off (a ! stays a
rem !), and from then on only with !...!. No block in parentheses reads it,
rem and every reg command is forced (/f) and reads no answer (<nul).
setlocal DisableDelayedExpansion
set "program=%~dp0Sectify.exe"
set "folder=%~dp0"
rem A lone quote: set "name=value" ends at the last quote of the line.
set "quote=""
setlocal EnableDelayedExpansion
set "key=HKCU\Software\Classes\SystemFileAssociations\.fxml\shell\Sectify"
set status=1
if not exist "!program!" goto missing
rem reg reads \" as a quote; to cmd the line's quotes are balanced and the
rem folder is not yet in it. The command goes first: a label alone would be
rem an entry that does nothing.
reg add "!key!\command" /ve /d "\"!program!\" \"%%1\"" /f <nul >nul 2>&1
if errorlevel 1 goto failed
reg add "!key!" /ve /d "Convert with Sectify" /f <nul >nul 2>&1
if errorlevel 1 goto failed
echo Added "Convert with Sectify" to the right-click menu of .fxml files, for
echo !USERNAME! only. It runs !program!.
echo On Windows 11 it is under "Show more options".
set status=0
goto end
:missing
echo Sectify.exe is not beside this script, in !folder!: nothing was added.
goto end
:failed
reg delete "!key!" /f <nul >nul 2>&1
echo "Convert with Sectify" could not be added to the right-click menu.
:end
rem Explorer opens a script by the open verb of its type, "%%1" %%*, so with
rem no files cmd's command line ends in a quote, a blank and a quote; a
rem console's cmd has no script in its command line, and PowerShell and
rem other programs start the script by its name alone. Only in Explorer's
rem window, which closes when the script ends, is there a message to keep.
if "!cmdcmdline:~-3!"=="!quote! !quote!" pause
exit /b %status%
