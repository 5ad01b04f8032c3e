-- Texts of the desktop windows added with the password prompt, the help viewer's Back and Forward,
-- the start hint for limited rights, the query tool's run button, and the refusals of the editor in
-- words (the database's own text follows them as detail), and the code tables' descriptions in each
-- language (column + "_" + code), which the editor's drop-downs show. "%1" and "%2" take the hint's
-- user and entries, "$$" the argument of a message.
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FPARAMETERS_PWDTITLE', 'Password Required');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FPARAMETERS_PWD', 'Password');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FRMBROWSER_CMDBACK_TIP', 'Back (Alt+Left)');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FRMBROWSER_CMDFORWARD_TIP', 'Forward (Alt+Right)');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FVOCASET1_HINTOPEN', 'Open to user %1: %2.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'OK_RUN', 'Run');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M520', 'This code is already used: $$.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M521', 'Other records still refer to it.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M522', 'Other records still refer to it, in $$.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M523', 'A value of the record names something that does not exist (a company, a model, a code).');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M524', 'A value the table requires is empty.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M525', 'A value is longer than its column allows.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'LE_CODE_E', 'Model default');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'LE_CODE_C', 'Company value');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'LE_CODE_P', 'Telephone value');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'LE_CODE_D', 'Derived, not stored');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'TY_CODE_S', 'Text');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'TY_CODE_N', 'Number');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'TY_CODE_B', 'Yes/No (0 or 1)');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'TY_CODE_I', 'IP address');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FL_CODE_W', 'Work In Progress');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FL_CODE_D', 'Deleted');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FL_CODE_V', 'Validated');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FL_CODE_H', 'Hidden from the phone book');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'FPARAMETERS_PWDTITLE', 'Mot de passe requis');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'FPARAMETERS_PWD', 'Mot de passe');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'FRMBROWSER_CMDBACK_TIP', 'Précédent (Alt+Gauche)');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'FRMBROWSER_CMDFORWARD_TIP', 'Suivant (Alt+Droite)');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'FVOCASET1_HINTOPEN', 'Ouvert à l''utilisateur %1 : %2.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'OK_RUN', 'Exécuter');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M520', 'Ce code est déjà utilisé : $$.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M521', 'D''autres enregistrements y font encore référence.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M522', 'D''autres enregistrements y font encore référence, dans $$.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M523', 'Une valeur de l''enregistrement désigne quelque chose qui n''existe pas (une société, un modèle, un code).');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M524', 'Une valeur obligatoire est vide.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M525', 'Une valeur est plus longue que sa colonne ne le permet.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'LE_CODE_E', 'Valeur par défaut du modèle');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'LE_CODE_C', 'Valeur de la société');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'LE_CODE_P', 'Valeur du téléphone');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'LE_CODE_D', 'Dérivée, non enregistrée');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'TY_CODE_S', 'Texte');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'TY_CODE_N', 'Nombre');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'TY_CODE_B', 'Oui/Non (0 ou 1)');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'TY_CODE_I', 'Adresse IP');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'FL_CODE_W', 'En cours');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'FL_CODE_D', 'Supprimée');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'FL_CODE_V', 'Validée');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'FL_CODE_H', 'Masquée dans l''annuaire');
