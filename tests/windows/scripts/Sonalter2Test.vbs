' QelvSonalter2.Sonalter2 from VBScript: properties, the working methods on real
' sample arrays, and every kind of failure. Run with: cscript //nologo Sonalter2Test.vbs
' Typed sample arrays come from the test helper QelvSonalter2Test.ArrayHelper
' (see docs/WINDOWS.md); in-place methods are called through its Apply.
' The last line is always "N passed, M failed".
Option Explicit

Dim passed, failed, o, h
passed = 0
failed = 0

Sub Check(ok, what)
    If ok Then
        passed = passed + 1
    Else
        failed = failed + 1
        WScript.Echo "FAIL " & what
    End If
End Sub

Function Show(values)
    Dim s, i
    s = ""
    For i = LBound(values) To UBound(values)
        If i > LBound(values) Then s = s & ","
        s = s & values(i)
    Next
    Show = "(" & s & ")"
End Function

' True when the typed array holds exactly the expected values.
Function Holds(typed, expected, what)
    Dim actual, i, ok
    actual = h.ToScript(typed)
    ok = (UBound(actual) = UBound(expected))
    If ok Then
        For i = 0 To UBound(expected)
            If actual(i) <> expected(i) Then ok = False
        Next
    End If
    If Not ok Then WScript.Echo "  " & what & ": got " & Show(actual) & ", expected " & Show(expected)
    Holds = ok
End Function

' A sample times a gain, clamped to +-32767 and truncated toward zero.
Function Scaled(x, gain)
    Dim y
    y = x * gain
    If y > 32767 Then y = 32767
    If y < -32767 Then y = -32767
    Scaled = Fix(y)
End Function

Function Near(a, b, tolerance)
    Near = (Abs(a - b) <= tolerance)
End Function

' Runs object.method(args) through the helper and reports the error it raised.
Function Attempt(method, args, ByRef errNumber, ByRef errDescription, ByRef errSource)
    On Error Resume Next
    Select Case UBound(args)
        Case 0: Attempt = h.Apply(o, method, args(0))
        Case 1: Attempt = h.Apply(o, method, args(0), args(1))
        Case 2: Attempt = h.Apply(o, method, args(0), args(1), args(2))
    End Select
    errNumber = Err.Number
    errDescription = Err.Description
    errSource = Err.Source
    Err.Clear
End Function

Sub Main()
    Dim i, n, input, expected, a, b, r, num, desc, src, x, ramp(199), left(99), right(99)

    Set o = CreateObject("QelvSonalter2.Sonalter2")
    Set h = CreateObject("QelvSonalter2Test.ArrayHelper")
    Check TypeName(o) = "ISonalter2", "TypeName is ISonalter2: " & TypeName(o)

    ' ---- Properties ----
    Check o.LastErrorNum = 0, "LastErrorNum starts at 0"
    o.SmoothLeftEnabled = False
    Check o.SmoothLeftEnabled = False, "SmoothLeftEnabled False"
    o.SmoothLeftEnabled = True
    Check o.SmoothLeftEnabled = True, "SmoothLeftEnabled True"
    o.SmoothRightEnabled = False
    Check o.SmoothRightEnabled = False, "SmoothRightEnabled False"
    o.SmoothTime = 5
    Check o.SmoothTime = 5, "SmoothTime 5"
    o.ArrayFrequency = 22050
    Check o.ArrayFrequency = 22050, "ArrayFrequency 22050"
    o.ArrayChannels = 2
    Check o.ArrayChannels = 2, "ArrayChannels 2"
    o.TBEventEnabled = False
    Check o.TBEventEnabled = False, "TBEventEnabled False"
    o.TBEventEnabled = True
    Check o.TBEventEnabled = True, "TBEventEnabled True"
    o.SmoothLeftEnabled = False
    o.SmoothRightEnabled = False

    ' A ramp with both signs and the extremes.
    For i = 0 To 199
        ramp(i) = (i - 100) * 327
    Next
    ramp(0) = -32768
    ramp(199) = 32767
    input = h.ToShorts(ramp)
    Check h.Count(input) = 200, "helper makes 200 samples"

    ' ---- Level and order transforms ----
    a = h.Apply(o, "Silence", input)
    ReDim expected(199)
    For i = 0 To 199: expected(i) = 0: Next
    Check Holds(a, expected, "Silence"), "Silence"

    a = h.Apply(o, "Reverse", input)
    For i = 0 To 199: expected(i) = ramp(199 - i): Next
    Check Holds(a, expected, "Reverse"), "Reverse"

    a = h.Apply(o, "Invert", input)
    For i = 0 To 199: expected(i) = -ramp(i): Next
    expected(0) = -32768
    Check Holds(a, expected, "Invert"), "Invert (-32768 stays)"

    For Each x In Array(150, 50, 25, 0, -100, 300)
        a = h.Apply(o, "Amplify", input, x)
        For i = 0 To 199: expected(i) = Scaled(ramp(i), x / 100): Next
        Check Holds(a, expected, "Amplify " & x), "Amplify " & x
    Next

    ' A gain ramp of exactly 0, 1, 2, 3, 4 over five samples.
    b = h.ToShorts(Array(1000, -1000, 5000, 20000, -3))
    a = h.Apply(o, "Fade", b, 0, 400)
    Check Holds(a, Array(0, -1000, 10000, 32767, -12), "Fade"), "Fade 0..400"
    a = h.Apply(o, "Fade", b, 100, 100)
    Check Holds(a, Array(1000, -1000, 5000, 20000, -3), "Fade flat"), "Fade 100..100 keeps the samples"

    ' Peak 1: the factor is 32767 times the normalisation.
    b = h.ToShorts(Array(1, 0, -1, 1))
    a = h.Apply(o, "Normalize", b, 100, False)
    Check Holds(a, Array(32767, 0, -32767, 32767), "Normalize"), "Normalize 100"
    a = h.Apply(o, "Normalize", b, 50, False)
    Check Holds(a, Array(16383, 0, -16383, 16383), "Normalize 50"), "Normalize 50"
    ' Mean 2; the peak is measured from the mean to the extremes of the samples and
    ' of zero (here 2 - 0), so the factor is 32767 / 2.
    b = h.ToShorts(Array(1, 3, 1, 3))
    a = h.Apply(o, "Normalize", b, 100, True)
    Check Holds(a, Array(-16383, 16383, -16383, 16383), "Normalize DC"), "Normalize with DC bias removed"

    ' ---- Channel utilities ----
    For i = 0 To 99
        left(i) = i * 3 - 150
        right(i) = 7 - i * 11
    Next
    Dim stereo
    stereo = o.MakeStereoFromArrays(h.ToShorts(left), h.ToShorts(right))
    Check h.Count(stereo) = 200, "MakeStereoFromArrays length"
    Check h.Item(stereo, 0) = left(0) And h.Item(stereo, 1) = right(0) And h.Item(stereo, 199) = right(99), _
          "MakeStereoFromArrays interleaves"
    Check Holds(o.GetLeftStereoChannel((stereo)), left, "left"), "GetLeftStereoChannel"
    Check Holds(o.GetRightStereoChannel((stereo)), right, "right"), "GetRightStereoChannel"
    ReDim expected(99)
    For i = 0 To 99: expected(i) = Fix((left(i) + right(i)) / 2): Next
    Check Holds(o.MakeMonoFromStereo((stereo)), expected, "mono"), "MakeMonoFromStereo"
    r = o.MakeStereoFromMono(h.ToShorts(left))
    ReDim expected(199)
    For i = 0 To 99
        expected(2 * i) = left(i)
        expected(2 * i + 1) = left(i)
    Next
    Check Holds(r, expected, "stereo from mono"), "MakeStereoFromMono"
    Check Holds(o.DuplicateArray((input)), ramp, "duplicate"), "DuplicateArray"
    a = h.Apply(o, "MixArrays", h.ToShorts(left), 50, h.ToShorts(right), 200)
    ReDim expected(99)
    For i = 0 To 99: expected(i) = Scaled(left(i) * 0.5 + right(i) * 2, 1): Next
    Check Holds(a, expected, "MixArrays"), "MixArrays 50/200"
    a = h.Apply(o, "MixStereoChannels", stereo, 0, 100, 100, 0)
    ReDim expected(199)
    For i = 0 To 99
        expected(2 * i) = right(i)
        expected(2 * i + 1) = left(i)
    Next
    Check Holds(a, expected, "swap"), "MixStereoChannels swaps the channels"

    ' ---- Level conversions ----
    Check o.PercentToDB(100) = 0, "PercentToDB(100) = 0"
    Check Near(o.PercentToDB(50), -6.0206, 0.0001), "PercentToDB(50) = -6.0206"
    Check Near(o.PercentToDB(10), -20, 0.0001), "PercentToDB(10) = -20"
    Check o.DBToPercent(0) = 100, "DBToPercent(0) = 100"
    Check Near(o.DBToPercent(20), 1000, 0.01), "DBToPercent(20) = 1000"
    Check Near(o.DBToPercent(-6.0206), 50, 0.001), "DBToPercent(-6.0206) = 50"

    ' Outside a transform a cancel request does nothing and is forgotten.
    o.CancelTransform
    a = h.Apply(o, "Invert", input)
    Check h.Item(a, 1) = -ramp(1), "a cancel outside a transform is forgotten"

    ' ---- Failures ----
    Check o.LastErrorNum = 0, "no failure so far"
    a = Attempt("Invert", Array(h.ToShorts(Array(7))), num, desc, src)
    Check num = &H8004030B, "one sample: Err.Number " & Hex(num)
    Check desc = "Invalid parameter(argument).", "one sample: Err.Description " & desc
    Check src = "QelvSonalter2.Sonalter2.2", "one sample: Err.Source " & src
    Check o.LastErrorNum = -20, "one sample: LastErrorNum " & o.LastErrorNum

    a = Attempt("Amplify", Array(h.ToShorts(Array(1, 2, 3), 1), 100), num, desc, src)
    Check num = &H8004030B And o.LastErrorNum = -20, "lower bound 1 refused: " & Hex(num)
    a = Attempt("Reverse", Array(h.ToShorts(Array())), num, desc, src)
    Check num = &H8004030B, "empty array refused: " & Hex(num)
    a = Attempt("MakeStereoFromArrays", Array(h.ToShorts(Array(1, 2)), h.ToShorts(Array(3))), num, desc, src)
    Check num = &H8004030B, "arrays of different lengths: " & Hex(num)
    a = Attempt("Resample", Array(input, 0), num, desc, src)
    Check num = &H8004030B And o.LastErrorNum = -20, "Resample at rate 0 refused: " & Hex(num)

    ' Failures of the automation layer, before the component runs.
    On Error Resume Next
    o.Invert (h.ToShorts(Array(1)))
    Check Err.Number = &H8004030B And Err.Source = "QelvSonalter2.Sonalter2.2", "direct call error: " & Hex(Err.Number)
    Err.Clear
    x = o.PercentToDB("not a number")
    Check Err.Number = 13, "type mismatch: " & Err.Number & " " & Err.Description
    Err.Clear
    o.NoSuchMethod 1
    Check Err.Number = 438, "unknown member: " & Err.Number & " " & Err.Description
    Err.Clear
    x = o.PercentToDB()
    Check Err.Number = 450, "missing argument: " & Err.Number & " " & Err.Description
    Err.Clear
    o.LastErrorNum = 3
    Check Err.Number <> 0, "LastErrorNum is read-only"
    Check o.LastErrorNum = -20, "LastErrorNum kept: " & o.LastErrorNum
    Err.Clear
    On Error GoTo 0
End Sub

Main
WScript.Echo passed & " passed, " & failed & " failed"
