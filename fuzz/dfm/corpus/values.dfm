inherited Form2: TForm2 [1]
  Ints = (0 -11 $1F $FFFFFFFFFFFFFFFF 9223372036854775807 -9223372036854775808)
  Floats = (1.5 1.5E3 -2.5e-3 2e+2)
  Text = 'It''s'#13#10'next' + #55357#56832 +
    #$41'€'
  Options = [fsBold, fsItalic]
  Columns = <
    item [0]
      Width = 64
      Items = <
        item
        end>
    end>
  inline Frame1: TFrame1
    Data = {
      00 ff
      1 0}
  end
  object TPanel
  end
end
