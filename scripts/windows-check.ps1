<#
.SYNOPSIS
Checks zarn-upload.exe on a real Windows machine, against zarn-stb-sim.exe
through a null-modem pair of COM ports.

.DESCRIPTION
Needs two COM ports joined as a null-modem: a virtual pair (com0com) or two
USB-serial adapters with a null-modem cable between them. zarn-stb-sim.exe
plays the set-top box on one port, zarn-upload.exe uploads on the other.

It lists the ports, shows that a port held by one program is refused to
another, uploads the ZARN sample image and the .DSP sample file from a
folder named in Cyrillic and Chinese, and checks that the STB received each
byte for byte (a .DSP file under its bare name) and that the upload ended
confirmed. It prints every program's output and PASS or FAIL per check, and
exits with 1 when any check failed (0 otherwise, 2 when it cannot start).

What needs a person at the machine (the console, a pulled adapter) is
listed at the end.

Runs on Windows PowerShell 5.1 and PowerShell 7:
  powershell -ExecutionPolicy Bypass -File windows-check.ps1 -UploadPort COM5 -StbPort COM6

.PARAMETER UploadPort
The port zarn-upload.exe opens, e.g. COM5.

.PARAMETER StbPort
The other end of the pair, where zarn-stb-sim.exe plays the STB, e.g. COM6.

.PARAMETER ProgramFolder
The folder holding zarn-upload.exe and zarn-stb-sim.exe; default: this
script's folder (the zip's top folder).

.PARAMETER SamplesFolder
The folder holding sample_app.ZARN and sample.DSP; default: "samples" in
the program folder, else the source tree's tools\samples.

.PARAMETER LimitSeconds
How long one program may run before the check gives up on it.
#>
[CmdletBinding()]
param(
  [Parameter(Mandatory = $true)][string]$UploadPort,
  [Parameter(Mandatory = $true)][string]$StbPort,
  [string]$ProgramFolder = $PSScriptRoot,
  [string]$SamplesFolder = '',
  [int]$LimitSeconds = 120
)

Set-StrictMode -Version 2
$ErrorActionPreference = 'Stop'

# How long zarn-stb-sim.exe may take to open its port and say so.
$StartLimitMs = 20000
# The names no ANSI code page holds all of, built from their code points so
# that this file stays ASCII (Windows PowerShell 5.1 reads a script without a
# byte order mark in the ANSI code page).
$CyrillicFirmware = -join [char[]](0x041F, 0x0440, 0x043E, 0x0448, 0x0438, 0x0432, 0x043A, 0x0430)
$ChineseFirmware = -join [char[]](0x56FA, 0x4EF6)

$Results = New-Object System.Collections.ArrayList

function Add-Check([string]$Name, [bool]$Ok, [string]$Detail) {
  $state = 'FAIL'
  if ($Ok) { $state = 'PASS' }
  [void]$Results.Add([pscustomobject]@{ Check = $Name; Result = $state; Detail = $Detail })
  Write-Host ("[{0}] {1}{2}" -f $state, $Name, $(if ($Detail) { ": $Detail" } else { '' }))
}

function Show-Output([string]$Title, [string]$Text) {
  Write-Host "--- $Title"
  if ($Text) { Write-Host $Text.TrimEnd() } else { Write-Host '(nothing)' }
}

# One word of a command line as CommandLineToArgvW and the C runtime split
# it again: quoted when it holds blanks or quotes, backslashes doubled only
# before a quote.
function ConvertTo-ArgumentWord([string]$Word) {
  if ($Word.Length -gt 0 -and $Word -notmatch '[\s"]') { return $Word }
  $text = New-Object System.Text.StringBuilder
  [void]$text.Append('"')
  $slashes = 0
  foreach ($c in $Word.ToCharArray()) {
    if ($c -eq [char]92) { $slashes++; continue }
    if ($c -eq [char]34) {
      [void]$text.Append([char]92, 2 * $slashes + 1)
    } elseif ($slashes -gt 0) {
      [void]$text.Append([char]92, $slashes)
    }
    [void]$text.Append($c)
    $slashes = 0
  }
  if ($slashes -gt 0) { [void]$text.Append([char]92, 2 * $slashes) }
  [void]$text.Append('"')
  return $text.ToString()
}

# Starts a program with its output on pipes, read as UTF-8 (the programs
# write UTF-8 to a pipe).
function Start-Program([string]$Path, [string[]]$Words) {
  $info = New-Object System.Diagnostics.ProcessStartInfo
  $info.FileName = $Path
  $info.Arguments = ($Words | ForEach-Object { ConvertTo-ArgumentWord $_ }) -join ' '
  $info.UseShellExecute = $false
  $info.CreateNoWindow = $true
  $info.RedirectStandardOutput = $true
  $info.RedirectStandardError = $true
  $utf8 = New-Object System.Text.UTF8Encoding($false)
  $info.StandardOutputEncoding = $utf8
  $info.StandardErrorEncoding = $utf8
  $process = New-Object System.Diagnostics.Process
  $process.StartInfo = $info
  [void]$process.Start()
  return $process
}

function Stop-Program($Process) {
  if (-not $Process.HasExited) {
    try { $Process.Kill() } catch { }
    [void]$Process.WaitForExit(5000)
  }
}

# Runs a program to its end (at most LimitSeconds); returns its exit code
# (-1: it had to be stopped) and its output.
function Invoke-Program([string]$Path, [string[]]$Words) {
  $process = Start-Program $Path $Words
  $out = $process.StandardOutput.ReadToEndAsync()
  $err = $process.StandardError.ReadToEndAsync()
  $code = -1
  if ($process.WaitForExit($LimitSeconds * 1000)) {
    $process.WaitForExit()
    $code = $process.ExitCode
  } else {
    Stop-Program $process
  }
  return [pscustomobject]@{ Code = $code; Out = $out.Result; Err = $err.Result }
}

# The simulated STB's output, line by line, with a limit on each wait.
function Read-SimLine($Sim, [int]$LimitMs) {
  if ($null -eq $Sim.Pending) { $Sim.Pending = $Sim.Process.StandardOutput.ReadLineAsync() }
  if (-not $Sim.Pending.Wait($LimitMs)) { return $null }
  $line = $Sim.Pending.Result
  $Sim.Pending = $null
  if ($null -ne $line) { [void]$Sim.Lines.Add($line) }
  return $line
}

function Start-Stb([string]$Mode, [string]$SavePath) {
  $process = Start-Program $StbSim @('--com', $StbPort, '--mode', $Mode, '--once', '--quiet', '--save', $SavePath)
  $sim = [pscustomobject]@{
    Process = $process
    Err = $process.StandardError.ReadToEndAsync()
    Pending = $null
    Lines = New-Object System.Collections.ArrayList
  }
  $line = Read-SimLine $sim $StartLimitMs
  if ($line -eq "device: $StbPortName") {
    Add-Check "zarn-stb-sim.exe opens $StbPortName ($Mode)" $true ''
    return $sim
  }
  # Its error output is whole once it has ended.
  Stop-Program $process
  Add-Check "zarn-stb-sim.exe opens $StbPortName ($Mode)" $false "it said: $line $($sim.Err.Result)"
  return $null
}

# The name "COMn" that a port argument gives, upper case, without "\\.\".
function Get-ComName([string]$Port) {
  if ($Port -notmatch '^(\\\\\.\\)?COM0*([1-9][0-9]{0,2})$' -or [int]$Matches[2] -gt 256) {
    Write-Host "windows-check: '$Port' is no COM port name (COM1 to COM256)"
    exit 2
  }
  return 'COM' + $Matches[2]
}

$UploadPortName = Get-ComName $UploadPort
$StbPortName = Get-ComName $StbPort
if ($UploadPortName -eq $StbPortName) {
  Write-Host 'windows-check: the two ports must be the two ends of a pair, not one port'
  exit 2
}
$Upload = Join-Path $ProgramFolder 'zarn-upload.exe'
$StbSim = Join-Path $ProgramFolder 'zarn-stb-sim.exe'
foreach ($program in @($Upload, $StbSim)) {
  if (-not (Test-Path -LiteralPath $program -PathType Leaf)) {
    Write-Host "windows-check: $program not found (-ProgramFolder names the folder)"
    exit 2
  }
}
if (-not $SamplesFolder) {
  $SamplesFolder = Join-Path $ProgramFolder 'samples'
  if (-not (Test-Path -LiteralPath $SamplesFolder -PathType Container)) {
    $SamplesFolder = Join-Path (Join-Path (Split-Path -Parent $PSScriptRoot) 'tools') 'samples'
  }
}
$ZarnSample = Join-Path $SamplesFolder 'sample_app.ZARN'
$DspSample = Join-Path $SamplesFolder 'sample.DSP'
foreach ($sample in @($ZarnSample, $DspSample)) {
  if (-not (Test-Path -LiteralPath $sample -PathType Leaf)) {
    Write-Host "windows-check: $sample not found (-SamplesFolder names the folder)"
    exit 2
  }
}

Write-Host "windows-check: zarn-upload.exe on $UploadPortName, zarn-stb-sim.exe on $StbPortName"
Write-Host ("Windows {0}, PowerShell {1}, culture {2}, ANSI code page {3}, OEM code page {4}" -f
  [Environment]::OSVersion.Version, $PSVersionTable.PSVersion, (Get-Culture).Name,
  [Text.Encoding]::Default.CodePage, [Console]::OutputEncoding.CodePage)

$Work = Join-Path ([IO.Path]::GetTempPath()) ("zarn-check " + $CyrillicFirmware + ' ' + $ChineseFirmware + ' ' + [guid]::NewGuid().ToString('N').Substring(0, 8))
$Sims = New-Object System.Collections.ArrayList
try {
  [void](New-Item -ItemType Directory -Path $Work)

  $version = Invoke-Program $Upload @('--version')
  Show-Output 'zarn-upload.exe --version' $version.Out
  Add-Check 'zarn-upload.exe runs' ($version.Code -eq 0 -and $version.Out -like 'zarn-upload *') "exit $($version.Code)"

  # The port list: both ends, with the adapters' friendly names.
  $list = Invoke-Program $Upload @('--list-ports')
  Show-Output 'zarn-upload.exe --list-ports' ($list.Out + $list.Err)
  $listed = @($list.Out -split "`r?`n" | ForEach-Object { ($_ -split '\s+')[0] })
  Add-Check 'the port list runs' ($list.Code -eq 0) "exit $($list.Code)"
  foreach ($port in @($UploadPortName, $StbPortName)) {
    Add-Check "the port list shows $port" ($listed -contains $port) ''
  }

  $uploads = @(
    @{ Mode = 'zarn'; Sample = $ZarnSample; Name = "$CyrillicFirmware $ChineseFirmware.ZARN"; Ending = 'Upload task terminated!!!' },
    @{ Mode = 'dsp'; Sample = $DspSample; Name = 'sample.DSP'; Ending = 'Download task terminated!!!' }
  )
  $first = $true
  foreach ($upload in $uploads) {
    $file = Join-Path $Work $upload.Name
    Copy-Item -LiteralPath $upload.Sample -Destination $file
    $received = Join-Path $Work "received-$($upload.Mode).bin"
    $sim = Start-Stb $upload.Mode $received
    if ($null -eq $sim) { continue }
    [void]$Sims.Add($sim.Process)

    if ($first) {
      # Windows opens a COM port for one program at a time: the held port is
      # refused to zarn-upload.exe with the component's message.
      $held = Invoke-Program $Upload @('--port', $StbPortName, $file)
      Show-Output "zarn-upload.exe --port $StbPortName (held by zarn-stb-sim.exe): exit $($held.Code)" ($held.Out + $held.Err)
      Add-Check "$StbPortName, held by zarn-stb-sim.exe, is refused" ($held.Code -eq 2 -and $held.Err -like '*ie_Open - device already open*') "exit $($held.Code)"
      $first = $false
    }

    $run = Invoke-Program $Upload @('--port', $UploadPortName, $file)
    Show-Output "zarn-upload.exe --port $UploadPortName $file : exit $($run.Code)" $run.Out
    if ($run.Err) { Show-Output 'its standard error' $run.Err }
    $lines = @($run.Out -split "`r?`n" | Where-Object { $_ -ne '' })
    $ending = ''
    if ($lines.Count -gt 0) { $ending = $lines[$lines.Count - 1] }
    Add-Check "$($upload.Mode): zarn-upload.exe ends confirmed (exit 0)" ($run.Code -eq 0) "exit $($run.Code)"
    Add-Check "$($upload.Mode): its log ends with '$($upload.Ending)'" ($ending -eq $upload.Ending) $ending
    Add-Check "$($upload.Mode): nothing on its standard error" (-not $run.Err) ''

    # --once: the STB saves the upload, says so and ends.
    $name = ''
    $saved = ''
    while ($true) {
      $line = Read-SimLine $sim ($LimitSeconds * 1000)
      if ($null -eq $line) { break }
      if ($line.StartsWith('name: ')) { $name = $line.Substring(6) }
      if ($line.StartsWith('saved: ')) { $saved = $line.Substring(7); break }
    }
    $exited = $sim.Process.WaitForExit($LimitSeconds * 1000)
    # Its error output is whole once it has ended.
    if ($exited) { $sim.Process.WaitForExit() } else { Stop-Program $sim.Process }
    Show-Output "zarn-stb-sim.exe --com $StbPortName --mode $($upload.Mode)" ((($sim.Lines) -join "`n") + "`n" + $sim.Err.Result)
    Add-Check "$($upload.Mode): the STB saved the upload" ($saved -eq $received) $saved
    if ($saved -eq $received) {
      $want = (Get-FileHash -LiteralPath $file -Algorithm SHA256).Hash
      $got = (Get-FileHash -LiteralPath $received -Algorithm SHA256).Hash
      Add-Check "$($upload.Mode): the STB received the file byte for byte" ($want -eq $got) "SHA-256 $got"
    }
    if ($upload.Mode -eq 'dsp') {
      Add-Check 'dsp: the STB got the bare file name' ($name -eq $upload.Name) "'$name'"
    }
    Add-Check "$($upload.Mode): zarn-stb-sim.exe ends by itself (exit 0)" ($exited -and $sim.Process.ExitCode -eq 0) $(if ($exited) { "exit $($sim.Process.ExitCode)" } else { 'still running' })
  }
} finally {
  foreach ($process in $Sims) { Stop-Program $process }
  if (Test-Path -LiteralPath $Work) { Remove-Item -LiteralPath $Work -Recurse -Force -ErrorAction SilentlyContinue }
}

$failed = @($Results | Where-Object { $_.Result -ne 'PASS' })
Write-Host ''
Write-Host ('{0} checks, {1} failed' -f $Results.Count, $failed.Count)
foreach ($check in $failed) { Write-Host "  FAIL $($check.Check) $($check.Detail)" }
Write-Host @"

Still to confirm by hand (the README's "On Windows" lists why):
  - in a classic console window (conhost) and in Windows Terminal:
      zarn-upload.exe --port $UploadPortName <file>  against  zarn-stb-sim.exe --com $StbPortName
    the progress bar redraws in place (no "<-[K"), Ctrl-C stops the upload with exit 1,
    and closing the window during an upload ends it (the port is free at once after)
  - a USB adapter pulled out during each upload kind: the upload ends within a second,
    "Device read error" or the phase's failure, exit 1, and zarn-upload.exe does not hang
  - the window zarn-loader.exe at 150 % and 200 % display scaling, and on a
    non-English Windows (system texts in its language, port names unmangled)
"@
if ($failed.Count -gt 0) { exit 1 }
exit 0
