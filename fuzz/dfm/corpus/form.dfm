object Form1: TForm1
  Left = 751
  Top = 130
  AutoSize = True
  BorderStyle = bsNone
  Caption = 'Setup'
  ClientHeight = 319
  ClientWidth = 546
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -11
  Font.Name = 'MS Sans Serif'
  Font.Style = []
  Icon.Data = {
    0000010004003030000001002000A8250000460000002020000001002000A810
    0000EE250000}
  Position = poScreenCenter
  OnCreate = FormCreate
  PixelsPerInch = 96
  TextHeight = 13
  object Image1: TImage
    Left = 0
    Top = 0
    Width = 546
    Height = 319
    Picture.Data = {
      0A54504E474F626A65637489504E470D0A1A0A0000000D49484452}
  end
  object Label1: TLabel
    Left = 112
    Top = 280
    Caption = #169' 2009 Maker Co., Ltd.' +
      ' All rights reserved.'
    Transparent = True
  end
  object SeSkinButton3: TSeSkinButton
    Caption = '安装USB驱动 / Install USB Driver'
    TabOrder = 3
    OnClick = SeSkinButton3Click
  end
end
